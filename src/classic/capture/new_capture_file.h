// Where the classic program puts a new capture: a base name from its
// resources, the date and time, the extension of the capture format, and the
// folder the preferences choose, or a put-file dialog.
#pragma once

#include <string>

#include "core/platform/files.h"

namespace fw {

// The put-file dialog the classic shell shows; tests install a fake.
class PutFileDialog {
 public:
  virtual ~PutFileDialog() = default;
  // Asks for a file, the name preset. userCanceledErr when the user
  // cancels; else the chosen file, and whether the user agreed to replace
  // an existing one.
  [[nodiscard]] virtual OSErr AskForFile(const std::string& suggestedName, FileRef* outFile,
                                         bool* outReplacing) = 0;
};

// The dialog used when the preferences ask the user (not owned; null until
// the shell installs one).
void SetPutFileDialog(PutFileDialog* dialog);

}  // namespace fw

// Fills outSpec with the new capture's file. userCanceledErr when the user
// cancels the dialog; folder errors as they come. In the fixed folders an
// existing file is never replaced: " 2", " 3", … go before the extension.
[[nodiscard]] OSErr GetFileSpecForNewCapture(fw::FileRef* outSpec);
