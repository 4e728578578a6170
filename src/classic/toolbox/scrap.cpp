// The clipboard's text flavour, through the backend.
#include "classic/toolbox/scrap.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "classic/toolbox/toolbox_state.h"

using namespace fw;

namespace {
// There is one clipboard; its reference is a fixed token.
ScrapRef TheScrap() {
  static int token;
  return reinterpret_cast<ScrapRef>(&token);
}
}  // namespace

OSErr GetCurrentScrap(ScrapRef* scrap) {
  if (scrap == nullptr) return paramErr;
  *scrap = TheScrap();
  return noErr;
}

OSErr ClearCurrentScrap() {
  TB().backend->SetClipboardText(std::nullopt);
  return noErr;
}

OSErr PutScrapFlavor(ScrapRef scrap, ScrapFlavorType flavor, ScrapFlavorFlags, size_t sizeBytes,
                     const void* data) {
  if (scrap != TheScrap() || (data == nullptr && sizeBytes != 0)) return paramErr;
  if (flavor != kScrapFlavorTypeText) return noTypeErr;
  TB().backend->SetClipboardText(std::string_view(static_cast<const char*>(data), sizeBytes));
  return noErr;
}

OSErr GetScrapFlavorSize(ScrapRef scrap, ScrapFlavorType flavor, size_t* sizeBytes) {
  if (scrap != TheScrap() || sizeBytes == nullptr) return paramErr;
  *sizeBytes = 0;
  if (flavor != kScrapFlavorTypeText) return noTypeErr;
  const std::optional<std::string> text = TB().backend->ClipboardText();
  if (!text) return noTypeErr;
  *sizeBytes = text->size();
  return noErr;
}

OSErr GetScrapFlavorData(ScrapRef scrap, ScrapFlavorType flavor, size_t* sizeBytes, void* data) {
  if (scrap != TheScrap() || sizeBytes == nullptr || (data == nullptr && *sizeBytes != 0)) return paramErr;
  if (flavor != kScrapFlavorTypeText) return noTypeErr;
  const std::optional<std::string> text = TB().backend->ClipboardText();
  if (!text) {
    *sizeBytes = 0;
    return noTypeErr;
  }
  const size_t count = std::min(*sizeBytes, text->size());
  if (count != 0) std::memcpy(data, text->data(), count);
  *sizeBytes = count;
  return noErr;
}
