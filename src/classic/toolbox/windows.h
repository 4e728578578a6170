// The Window Manager and the drawing port of each window. A window's
// bounds are its content rectangle in global coordinates; above the content
// sit its title bar (kTitleBarHeight, with a close box at its left when the
// window has one) and, for the window that carries the menu bar, the menu
// bar strip (kMenuBarHeight) between the two.
//
// Each window owns a port: a 32-bit picture of its content (0xFFRRGGBB) into
// which frames and framed rectangles are drawn, port coordinates being local
// (0, 0 at the content's top-left). Controls are drawn by the backend from
// the model, over that picture.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "classic/toolbox/toolbox_types.h"

constexpr int16_t kTitleBarHeight = 22;
constexpr int16_t kMenuBarHeight = 20;
constexpr int16_t kCloseBoxSize = 12;  // square, 6 pixels in from the left, centred in the title bar

enum class WindowCloseBox : uint8_t { kNone, kPresent };
enum class WindowVisibility : uint8_t { kHidden, kVisible };

// Windows are made in front of all others (behind == (WindowRef)-1) or at
// the back (behind == null).
inline const WindowRef kFirstWindowOfClass = reinterpret_cast<WindowRef>(-1);
WindowRef NewCWindow(void* storage, const Rect* boundsRect, ConstStr255Param title, WindowVisibility visible,
                     int16_t procID, WindowRef behind, WindowCloseBox goAwayFlag, intptr_t refCon);
void DisposeWindow(WindowRef window);

void ShowWindow(WindowRef window);
void HideWindow(WindowRef window);
// Brings the window to the front (activate events follow).
void SelectWindow(WindowRef window);
// Shows the window and brings it to the front.
void ShowAndSelectWindow(WindowRef window);
Boolean IsWindowVisible(WindowRef window);
// The frontmost visible window, or null.
WindowRef FrontWindow();
WindowRef FrontNonFloatingWindow();
// Visible windows front to back.
std::vector<WindowRef> GetWindowsFrontToBack();

int16_t GetWindowKind(WindowRef window);
void SetWindowKind(WindowRef window, int16_t kind);
intptr_t GetWRefCon(WindowRef window);
void SetWRefCon(WindowRef window, intptr_t refCon);
void SetWTitle(WindowRef window, ConstStr255Param title);
void GetWTitle(WindowRef window, Str255 title);
Boolean WindowHasCloseBox(WindowRef window);

// Moves the content's top-left to (h, v) global.
void MoveWindow(WindowRef window, int16_t h, int16_t v, Boolean front);
// Resizes the content; with fUpdate the whole window is invalidated.
void SizeWindow(WindowRef window, int16_t width, int16_t height, Boolean fUpdate);
// Follows the mouse from startPt until the button is released, moving the
// window by the distance travelled; the pointer is kept within limitRect.
void DragWindow(WindowRef window, Point startPt, const Rect* limitRect);
// Tracks a click in the close box: true when released inside it.
Boolean TrackGoAway(WindowRef window, Point startPt);

// Part code of a global point and the window it lies in (null in the menu
// bar and on the desktop). The menu bar comes first, whatever is in front.
int16_t FindWindow(Point where, WindowRef* window);

// Content rectangle in global coordinates.
Rect GetWindowContentRectGlobal(WindowRef window);
// Whole window (title bar and menu bar strip included), global.
Rect GetWindowStructureRectGlobal(WindowRef window);
// The content moved to the origin: {0, 0, height, width}.
Rect GetWindowRectLocal(WindowRef window);
// The content in global coordinates, through the port: its origin converted
// to global coordinates, bottom = top + port bottom, right = left + port
// right. The current port is left as it was.
Rect GetWindowRectGlobal(WindowRef window);

// Pending update region (a rectangle, local), and the calls that use it.
void InvalWindowRect(WindowRef window, const Rect* bounds);
void ValidWindowRect(WindowRef window, const Rect* bounds);
// Begins an update: the pending region becomes the one being drawn and is
// cleared, so no further update event is generated for it.
void BeginUpdate(WindowRef window);
void EndUpdate(WindowRef window);
// The pending update region's bounds (empty when none).
Rect GetWindowUpdateBounds(WindowRef window);
// Region codes of GetWindowRegionBounds: the window's regions are
// rectangles here, so their bounds are the regions themselves.
constexpr int16_t kWindowStructureRgn = 32;
constexpr int16_t kWindowContentRgn = 33;
constexpr int16_t kWindowUpdateRgn = 34;
// Global bounds of a window region (the update region too, as the platform
// gives it); errInvalidWindowRef or paramErr for an unknown code.
[[nodiscard]] OSErr GetWindowRegionBounds(WindowRef window, int16_t regionCode, Rect* bounds);

// ---- Ports -------------------------------------------------------------
CGrafPtr GetWindowPort(WindowRef window);
WindowRef GetWindowFromPort(CGrafPtr port);
void SetPort(GrafPtr port);
void GetPort(GrafPtr* port);
void SetPortWindowPort(WindowRef window);
// Port bounds: {0, 0, height, width} of the content.
Rect* GetPortBounds(CGrafPtr port, Rect* bounds);
// Between global and the current port's local coordinates.
void GlobalToLocal(Point* point);
void LocalToGlobal(Point* point);

// Drawing into the current port's picture (clipped to it).
struct PenState {
  Point pnLoc;
  Point pnSize{1, 1};
};
void GetPenState(PenState* state);
void SetPenState(const PenState* state);
void PenSize(int16_t width, int16_t height);
void PenNormal();
void FrameRect(const Rect* r);  // black outline, pen-sized
void PaintRect(const Rect* r);  // black fill
void EraseRect(const Rect* r);  // white fill
void InsetRect(Rect* r, int16_t dh, int16_t dv);
void OffsetRect(Rect* r, int16_t dh, int16_t dv);
Boolean PtInRect(Point p, const Rect* r);  // right and bottom edges outside, as QuickDraw

// The port's picture: width × height words 0xFFRRGGBB, row after row.
struct PortPixels {
  const uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};
PortPixels GetPortPixels(CGrafPtr port);
// Writable picture for the drawing code of this module and image_compression.
struct MutablePortPixels {
  uint32_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};
MutablePortPixels GetMutablePortPixels(CGrafPtr port);
// Tells the backend that the port's picture changed.
void PortPixelsChanged(CGrafPtr port);

// ---- Screens -----------------------------------------------------------
struct GDevice {
  Rect gdRect;
};
using GDPtr = GDevice*;
using GDHandle = GDevice*;
// The screens as the backend reports them, the main screen first.
GDHandle GetMainDevice();
GDHandle GetDeviceList();
GDHandle GetNextDevice(GDHandle device);
Rect GetGDeviceBounds(GDHandle device);
