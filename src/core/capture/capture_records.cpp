// The open input and the running capture.
#include "core/capture/capture_records.h"

VideoInputRecord* gInput = nullptr;
CaptureRecord* gCapture = nullptr;
