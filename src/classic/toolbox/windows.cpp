// Windows, their ports and the screens.
#include "classic/toolbox/windows.h"

#include <algorithm>

#include "classic/toolbox/toolbox_state.h"

using namespace fw;

namespace {

int32_t Width(const Rect& r) {
  return r.right - r.left;
}
int32_t Height(const Rect& r) {
  return r.bottom - r.top;
}
bool IsEmpty(const Rect& r) {
  return r.right <= r.left || r.bottom <= r.top;
}

Rect UnionRects(const Rect& a, const Rect& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return Rect{std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom),
              std::max(a.right, b.right)};
}

void ResizePort(WindowRef window) {
  const size_t count = static_cast<size_t>(std::max(0, Width(window->bounds))) *
                       static_cast<size_t>(std::max(0, Height(window->bounds)));
  window->pixels.assign(count, 0xFFFFFFFFu);
}

auto FindOwned(WindowRef window) {
  auto& windows = TB().windows;
  return std::find_if(windows.begin(), windows.end(), [&](const auto& w) { return w.get() == window; });
}

int16_t Clamp16(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

// The part of a window's structure above its content.
int16_t TopFrameHeight(WindowRef window) {
  return static_cast<int16_t>(kTitleBarHeight + (TB().menuBarWindow == window ? kMenuBarHeight : 0));
}

Rect TitleBarRect(WindowRef window) {
  const Rect s = GetWindowStructureRectGlobal(window);
  return Rect{s.top, s.left, static_cast<int16_t>(s.top + kTitleBarHeight), s.right};
}

Rect CloseBoxRect(WindowRef window) {
  const Rect title = TitleBarRect(window);
  const int16_t top = static_cast<int16_t>(title.top + (kTitleBarHeight - kCloseBoxSize) / 2);
  return Rect{top, static_cast<int16_t>(title.left + 6), static_cast<int16_t>(top + kCloseBoxSize),
              static_cast<int16_t>(title.left + 6 + kCloseBoxSize)};
}

// Follows a press until the mouse-up, calling `track` with each position;
// returns where the button went up.
template <typename F>
Point TrackPress(F track) {
  ToolboxState& tb = TB();
  while (StillDown()) {
    track(tb.mouse);
    PumpEvents(10);
  }
  WaitMouseUp();
  return tb.mouse;
}

}  // namespace

WindowRef fw::CheckedWindow(WindowRef window) {
  if (window == nullptr || !ToolboxIsRunning()) return nullptr;
  return FindOwned(window) != TB().windows.end() ? window : nullptr;
}

void fw::NoteWindowChanged(WindowRef window, WindowChange change) {
  if (TB().backend) TB().backend->WindowChanged(window, change);
}

void fw::NoteFrontWindowMayHaveChanged() {
  ToolboxState& tb = TB();
  WindowRef front = FrontWindow();
  if (front == tb.activeWindow) return;
  if (tb.activeWindow != nullptr && CheckedWindow(tb.activeWindow) != nullptr) {
    EventRecord deactivate;
    deactivate.what = activateEvt;
    deactivate.message = reinterpret_cast<uintptr_t>(tb.activeWindow);
    deactivate.when = TickCount();
    deactivate.where = tb.mouse;
    tb.activateQueue.push_back(deactivate);
  }
  // Events still queued for a window that is gone would hand out a dead
  // reference.
  std::erase_if(tb.activateQueue, [](const EventRecord& e) {
    return CheckedWindow(reinterpret_cast<WindowRef>(e.message)) == nullptr;
  });
  tb.activeWindow = front;
  if (front != nullptr) {
    EventRecord activate;
    activate.what = activateEvt;
    activate.message = reinterpret_cast<uintptr_t>(front);
    activate.when = TickCount();
    activate.where = tb.mouse;
    activate.modifiers = activeFlag;
    tb.activateQueue.push_back(activate);
  }
}

WindowRef NewCWindow(void*, const Rect* boundsRect, ConstStr255Param title, WindowVisibility visible, int16_t,
                     WindowRef behind, WindowCloseBox goAwayFlag, intptr_t refCon) {
  if (boundsRect == nullptr) return nullptr;
  ToolboxState& tb = TB();
  auto window = std::make_unique<OpaqueWindowPtr>();
  window->serial = tb.nextWindowSerial++;
  window->bounds = *boundsRect;
  window->title = title != nullptr ? Str255ToString(title) : std::string();
  window->visible = visible == WindowVisibility::kVisible;
  window->closeBox = goAwayFlag == WindowCloseBox::kPresent;
  window->refCon = refCon;
  ResizePort(window.get());
  WindowRef ref = window.get();
  if (behind == nullptr) {
    tb.windows.push_back(std::move(window));
  } else {
    tb.windows.insert(tb.windows.begin(), std::move(window));
  }
  NoteWindowChanged(ref, WindowChange::kCreated);
  if (ref->visible) {
    InvalWindowRect(ref, nullptr);
    NoteFrontWindowMayHaveChanged();
  }
  return ref;
}

void DisposeWindow(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return;
  ToolboxState& tb = TB();
  EndSequencesDrawingInto(window);
  ForgetMenuBarWindow(window);
  NoteWindowChanged(window, WindowChange::kDisposed);
  DisposeControlsOf(window);
  std::erase_if(tb.lists, [&](const auto& list) { return list->port == window; });
  if (tb.currentPort == window) tb.currentPort = nullptr;
  if (tb.activeWindow == window) tb.activeWindow = nullptr;
  std::erase_if(tb.activateQueue,
                [&](const EventRecord& e) { return e.message == reinterpret_cast<uintptr_t>(window); });
  std::erase_if(tb.queue, [&](const EventRecord& e) {
    return (e.what == updateEvt || e.what == activateEvt) && e.message == reinterpret_cast<uintptr_t>(window);
  });
  tb.windows.erase(FindOwned(window));
  NoteFrontWindowMayHaveChanged();
}

void ShowWindow(WindowRef window) {
  if (CheckedWindow(window) == nullptr || window->visible) return;
  window->visible = true;
  InvalWindowRect(window, nullptr);
  NoteWindowChanged(window, WindowChange::kVisibility);
  NoteFrontWindowMayHaveChanged();
}

void HideWindow(WindowRef window) {
  if (CheckedWindow(window) == nullptr || !window->visible) return;
  window->visible = false;
  NoteWindowChanged(window, WindowChange::kVisibility);
  NoteFrontWindowMayHaveChanged();
}

void SelectWindow(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return;
  auto& windows = TB().windows;
  auto it = FindOwned(window);
  std::rotate(windows.begin(), it, it + 1);
  NoteWindowChanged(window, WindowChange::kOrder);
  NoteFrontWindowMayHaveChanged();
}

void ShowAndSelectWindow(WindowRef window) {
  SelectWindow(window);
  ShowWindow(window);
}

Boolean IsWindowVisible(WindowRef window) {
  return CheckedWindow(window) != nullptr && window->visible;
}

WindowRef FrontWindow() {
  for (const auto& window : TB().windows) {
    if (window->visible) return window.get();
  }
  return nullptr;
}
WindowRef FrontNonFloatingWindow() {
  return FrontWindow();
}

std::vector<WindowRef> GetWindowsFrontToBack() {
  std::vector<WindowRef> out;
  for (const auto& window : TB().windows) {
    if (window->visible) out.push_back(window.get());
  }
  return out;
}

int16_t GetWindowKind(WindowRef window) {
  return CheckedWindow(window) != nullptr ? window->kind : 0;
}
void SetWindowKind(WindowRef window, int16_t kind) {
  if (CheckedWindow(window) != nullptr) window->kind = kind;
}
intptr_t GetWRefCon(WindowRef window) {
  return CheckedWindow(window) != nullptr ? window->refCon : 0;
}
void SetWRefCon(WindowRef window, intptr_t refCon) {
  if (CheckedWindow(window) != nullptr) window->refCon = refCon;
}
void SetWTitle(WindowRef window, ConstStr255Param title) {
  if (CheckedWindow(window) == nullptr) return;
  window->title = Str255ToString(title);
  NoteWindowChanged(window, WindowChange::kTitle);
}
void GetWTitle(WindowRef window, Str255 title) {
  CopyToStr255(CheckedWindow(window) != nullptr ? window->title : std::string(), title);
}
Boolean WindowHasCloseBox(WindowRef window) {
  return CheckedWindow(window) != nullptr && window->closeBox;
}

void MoveWindow(WindowRef window, int16_t h, int16_t v, Boolean front) {
  if (CheckedWindow(window) == nullptr) return;
  const int16_t width = static_cast<int16_t>(Width(window->bounds));
  const int16_t height = static_cast<int16_t>(Height(window->bounds));
  window->bounds = Rect{v, h, static_cast<int16_t>(v + height), static_cast<int16_t>(h + width)};
  NoteWindowChanged(window, WindowChange::kGeometry);
  if (front) SelectWindow(window);
}

void SizeWindow(WindowRef window, int16_t width, int16_t height, Boolean fUpdate) {
  if (CheckedWindow(window) == nullptr || width < 0 || height < 0) return;
  if (width == Width(window->bounds) && height == Height(window->bounds)) return;
  window->bounds.right = static_cast<int16_t>(window->bounds.left + width);
  window->bounds.bottom = static_cast<int16_t>(window->bounds.top + height);
  ResizePort(window);
  if (fUpdate) InvalWindowRect(window, nullptr);
  NoteWindowChanged(window, WindowChange::kGeometry);
}

void DragWindow(WindowRef window, Point startPt, const Rect* limitRect) {
  if (CheckedWindow(window) == nullptr) return;
  const Rect start = window->bounds;
  auto follow = [&](Point p) {
    if (limitRect != nullptr) {
      p.h = std::clamp(p.h, limitRect->left, limitRect->right);
      p.v = std::clamp(p.v, limitRect->top, limitRect->bottom);
    }
    const int16_t h = Clamp16(start.left + p.h - startPt.h);
    const int16_t v = Clamp16(start.top + p.v - startPt.v);
    if (h != window->bounds.left || v != window->bounds.top) MoveWindow(window, h, v, false);
  };
  follow(TrackPress(follow));
  SelectWindow(window);
}

Boolean TrackGoAway(WindowRef window, Point) {
  if (CheckedWindow(window) == nullptr) return false;
  const Point release = TrackPress([](Point) {});
  const Rect box = CloseBoxRect(window);
  return PtInRect(release, &box);
}

int16_t FindWindow(Point where, WindowRef* window) {
  if (window != nullptr) *window = nullptr;
  ToolboxState& tb = TB();
  const Rect bar = GetMBarRect();
  if (tb.menuBarSet && PtInRect(where, &bar)) return inMenuBar;
  for (const auto& w : tb.windows) {
    if (!w->visible) continue;
    const Rect structure = GetWindowStructureRectGlobal(w.get());
    if (!PtInRect(where, &structure)) continue;
    if (window != nullptr) *window = w.get();
    if (PtInRect(where, &w->bounds)) return inContent;
    const Rect closeBox = CloseBoxRect(w.get());
    if (w->closeBox && PtInRect(where, &closeBox)) return inGoAway;
    const Rect title = TitleBarRect(w.get());
    if (PtInRect(where, &title)) return inDrag;
    return inDesk;  // the strip of another window's menu bar is covered above
  }
  return inDesk;
}

Rect GetWindowContentRectGlobal(WindowRef window) {
  return CheckedWindow(window) != nullptr ? window->bounds : Rect{};
}

Rect GetWindowStructureRectGlobal(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return Rect{};
  Rect r = window->bounds;
  r.top = Clamp16(r.top - TopFrameHeight(window));
  return r;
}

Rect GetWindowRectLocal(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return Rect{};
  return Rect{0, 0, static_cast<int16_t>(Height(window->bounds)),
              static_cast<int16_t>(Width(window->bounds))};
}

Rect GetWindowRectGlobal(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return Rect{};
  GrafPtr saved;
  GetPort(&saved);
  SetPortWindowPort(window);
  Rect portBounds;
  GetPortBounds(GetWindowPort(window), &portBounds);
  Point origin{portBounds.top, portBounds.left};
  LocalToGlobal(&origin);
  SetPort(saved);
  return Rect{origin.v, origin.h, static_cast<int16_t>(origin.v + portBounds.bottom),
              static_cast<int16_t>(origin.h + portBounds.right)};
}

void InvalWindowRect(WindowRef window, const Rect* bounds) {
  if (CheckedWindow(window) == nullptr) return;
  const Rect local = GetWindowRectLocal(window);
  Rect r = bounds != nullptr ? *bounds : local;
  r = Rect{std::max(r.top, local.top), std::max(r.left, local.left), std::min(r.bottom, local.bottom),
           std::min(r.right, local.right)};
  if (IsEmpty(r)) return;
  window->updateRect = UnionRects(window->updateRect, r);
}

void ValidWindowRect(WindowRef window, const Rect* bounds) {
  if (CheckedWindow(window) == nullptr) return;
  // A rectangle region: validating what covers it clears it, anything less
  // leaves the whole pending rectangle for the next update.
  const Rect& u = window->updateRect;
  if (bounds == nullptr || (bounds->top <= u.top && bounds->left <= u.left && bounds->bottom >= u.bottom &&
                            bounds->right >= u.right)) {
    window->updateRect = Rect{};
  }
}

void BeginUpdate(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return;
  window->updateRect = Rect{};
  window->updating = true;
}

void EndUpdate(WindowRef window) {
  if (CheckedWindow(window) == nullptr) return;
  window->updating = false;
  NoteWindowChanged(window, WindowChange::kContent);
}

Rect GetWindowUpdateBounds(WindowRef window) {
  return CheckedWindow(window) != nullptr ? window->updateRect : Rect{};
}

OSErr GetWindowRegionBounds(WindowRef window, int16_t regionCode, Rect* bounds) {
  if (CheckedWindow(window) == nullptr) return errInvalidWindowRef;
  if (bounds == nullptr) return paramErr;
  switch (regionCode) {
    case kWindowStructureRgn:
      *bounds = GetWindowStructureRectGlobal(window);
      return noErr;
    case kWindowContentRgn:
      *bounds = window->bounds;
      return noErr;
    case kWindowUpdateRgn:
      *bounds = window->updateRect;
      if (!IsEmpty(*bounds)) OffsetRect(bounds, window->bounds.left, window->bounds.top);
      return noErr;
    default:
      return paramErr;
  }
}

// ---- Ports ----------------------------------------------------------------

CGrafPtr GetWindowPort(WindowRef window) {
  return window;
}
WindowRef GetWindowFromPort(CGrafPtr port) {
  return port;
}
void SetPort(GrafPtr port) {
  TB().currentPort = CheckedWindow(port);
}
void GetPort(GrafPtr* port) {
  if (port != nullptr) *port = CheckedWindow(TB().currentPort);
}
void SetPortWindowPort(WindowRef window) {
  SetPort(window);
}

Rect* GetPortBounds(CGrafPtr port, Rect* bounds) {
  if (bounds != nullptr) *bounds = GetWindowRectLocal(port);
  return bounds;
}

void GlobalToLocal(Point* point) {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (point == nullptr || port == nullptr) return;
  point->h = Clamp16(point->h - port->bounds.left);
  point->v = Clamp16(point->v - port->bounds.top);
}

void LocalToGlobal(Point* point) {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (point == nullptr || port == nullptr) return;
  point->h = Clamp16(point->h + port->bounds.left);
  point->v = Clamp16(point->v + port->bounds.top);
}

namespace {

void FillRect(WindowRef port, Rect r, uint32_t colour) {
  const int32_t width = Width(port->bounds);
  const int32_t height = Height(port->bounds);
  const int32_t top = std::max<int32_t>(r.top, 0), bottom = std::min<int32_t>(r.bottom, height);
  const int32_t left = std::max<int32_t>(r.left, 0), right = std::min<int32_t>(r.right, width);
  for (int32_t y = top; y < bottom; ++y) {
    std::fill(port->pixels.begin() + y * width + left, port->pixels.begin() + y * width + right, colour);
  }
}

}  // namespace

void GetPenState(PenState* state) {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (state != nullptr) *state = port != nullptr ? port->pen : PenState{};
}
void SetPenState(const PenState* state) {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (port != nullptr && state != nullptr) port->pen = *state;
}
void PenSize(int16_t width, int16_t height) {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (port != nullptr) port->pen.pnSize = Point{height, width};
}
void PenNormal() {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (port != nullptr) port->pen.pnSize = Point{1, 1};
}

void FrameRect(const Rect* r) {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (port == nullptr || r == nullptr || IsEmpty(*r)) return;
  const int16_t pw = port->pen.pnSize.h, ph = port->pen.pnSize.v;
  const uint32_t black = 0xFF000000u;
  FillRect(port, Rect{r->top, r->left, static_cast<int16_t>(std::min<int>(r->top + ph, r->bottom)), r->right},
           black);
  FillRect(port,
           Rect{static_cast<int16_t>(std::max<int>(r->bottom - ph, r->top)), r->left, r->bottom, r->right},
           black);
  FillRect(port,
           Rect{r->top, r->left, r->bottom, static_cast<int16_t>(std::min<int>(r->left + pw, r->right))},
           black);
  FillRect(port,
           Rect{r->top, static_cast<int16_t>(std::max<int>(r->right - pw, r->left)), r->bottom, r->right},
           black);
  PortPixelsChanged(port);
}

void PaintRect(const Rect* r) {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (port == nullptr || r == nullptr) return;
  FillRect(port, *r, 0xFF000000u);
  PortPixelsChanged(port);
}

void EraseRect(const Rect* r) {
  WindowRef port = CheckedWindow(TB().currentPort);
  if (port == nullptr || r == nullptr) return;
  FillRect(port, *r, 0xFFFFFFFFu);
  PortPixelsChanged(port);
}

void InsetRect(Rect* r, int16_t dh, int16_t dv) {
  r->left = Clamp16(r->left + dh);
  r->right = Clamp16(r->right - dh);
  r->top = Clamp16(r->top + dv);
  r->bottom = Clamp16(r->bottom - dv);
}

void OffsetRect(Rect* r, int16_t dh, int16_t dv) {
  r->left = Clamp16(r->left + dh);
  r->right = Clamp16(r->right + dh);
  r->top = Clamp16(r->top + dv);
  r->bottom = Clamp16(r->bottom + dv);
}

Boolean PtInRect(Point p, const Rect* r) {
  return r != nullptr && p.h >= r->left && p.h < r->right && p.v >= r->top && p.v < r->bottom;
}

PortPixels GetPortPixels(CGrafPtr port) {
  if (CheckedWindow(port) == nullptr) return {};
  return PortPixels{port->pixels.data(), Width(port->bounds), Height(port->bounds)};
}

MutablePortPixels GetMutablePortPixels(CGrafPtr port) {
  if (CheckedWindow(port) == nullptr) return {};
  return MutablePortPixels{port->pixels.data(), Width(port->bounds), Height(port->bounds)};
}

void PortPixelsChanged(CGrafPtr port) {
  if (CheckedWindow(port) != nullptr) NoteWindowChanged(port, WindowChange::kContent);
}

// ---- Screens --------------------------------------------------------------

namespace {
void RefreshScreens() {
  ToolboxState& tb = TB();
  tb.screens.clear();
  for (const Rect& r : tb.backend->ScreenBounds()) tb.screens.push_back(GDevice{r});
  if (tb.screens.empty()) tb.screens.push_back(GDevice{Rect{0, 0, 768, 1024}});
}
}  // namespace

// The list is read afresh at the start of each walk (GetDeviceList) and
// kept during it, so the main device compares equal to the first of the
// walk.
GDHandle GetMainDevice() {
  if (TB().screens.empty()) RefreshScreens();
  return &TB().screens.front();
}
GDHandle GetDeviceList() {
  RefreshScreens();
  return &TB().screens.front();
}
GDHandle GetNextDevice(GDHandle device) {
  auto& screens = TB().screens;
  if (device == nullptr || screens.empty()) return nullptr;
  const auto index = device - screens.data();
  if (index < 0 || index + 1 >= static_cast<ptrdiff_t>(screens.size())) return nullptr;
  return device + 1;
}
Rect GetGDeviceBounds(GDHandle device) {
  return device != nullptr ? device->gdRect : Rect{};
}
