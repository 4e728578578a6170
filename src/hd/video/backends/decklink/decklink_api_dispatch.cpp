// The DeckLink SDK loader: the SDK is found at run time, so the program
// starts and lists its other devices on machines without it.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "hd/video/backends/decklink/decklink_api.h"

using namespace fw;

namespace {

using CreateIteratorFunc = IDeckLinkIterator* (*)();

pthread_once_t gDeckLinkOnceControl = PTHREAD_ONCE_INIT;
void* gDeckLinkAPIBundleRef = nullptr;  // kept for the life of the process
CreateIteratorFunc gCreateIteratorFunc = nullptr;
// Looked up with the iterator, as they belong to the same SDK generation;
// nothing calls them. (The Linux SDK keeps its screen-preview helpers in a
// library of their own, and has no Cocoa preview.)
void* gCreateAPIInformationFunc = nullptr;
void* gCreateVideoConversionFunc = nullptr;

std::string gLibraryPathForTesting;  // written before the first load only
std::atomic<int> gLoadAttempts{0};

// Written once under pthread_once, which orders it before every reader.
void LoadDeckLinkLibrary() {
  gLoadAttempts.fetch_add(1);
  const char* path = gLibraryPathForTesting.empty() ? kDeckLinkLibraryName : gLibraryPathForTesting.c_str();
  gDeckLinkAPIBundleRef = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (gDeckLinkAPIBundleRef == nullptr) return;  // no SDK: every pointer stays null
  gCreateIteratorFunc =
      reinterpret_cast<CreateIteratorFunc>(dlsym(gDeckLinkAPIBundleRef, kCreateIteratorEntryPoint));
  gCreateAPIInformationFunc = dlsym(gDeckLinkAPIBundleRef, kCreateAPIInformationEntryPoint);
  gCreateVideoConversionFunc = dlsym(gDeckLinkAPIBundleRef, kCreateVideoConversionEntryPoint);
}

}  // namespace

void DeckLinkStringRelease(DeckLinkString text) {
  std::free(const_cast<char*>(text));
}

void InitDeckLinkAPI() {
  pthread_once(&gDeckLinkOnceControl, LoadDeckLinkLibrary);
}

IDeckLinkIterator* CreateDeckLinkIteratorInstance() {
  InitDeckLinkAPI();
  return gCreateIteratorFunc != nullptr ? gCreateIteratorFunc() : nullptr;
}

void fw::SetDeckLinkLibraryPathForTesting(const char* path) {
  gLibraryPathForTesting = path != nullptr ? path : "";
}

int fw::DeckLinkLibraryLoadAttemptsForTesting() {
  return gLoadAttempts.load();
}
