// The Qt backend.
#include "classic/toolbox/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "classic/toolbox/key_codes.h"
#include "classic/toolbox/toolbox_state.h"

namespace fw {

namespace {

class QtToolboxBackend;

QString Latin1(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

Point ToPoint(const QPointF& global) {
  return Point{static_cast<int16_t>(std::lround(global.y())), static_cast<int16_t>(std::lround(global.x()))};
}

QRect ToQRect(const Rect& r, int dy = 0) {
  return QRect(r.left, r.top + dy, r.right - r.left, r.bottom - r.top);
}

EventModifiers ModifiersOf(Qt::KeyboardModifiers m) {
  EventModifiers out = 0;
  if (m & Qt::ControlModifier) out |= cmdKey;
  if (m & Qt::ShiftModifier) out |= shiftKey;
  if (m & Qt::AltModifier) out |= optionKey;
  if (m & Qt::MetaModifier) out |= controlKey;
  return out;
}

// The character a key types, as the classic keyboard gives it: the special
// keys' own codes, else the unmodified character (with the command key
// held too, so Ctrl+W gives 'w').
uint8_t CharCodeOf(const QKeyEvent* event, uint8_t keyCode) {
  if (uint8_t special = ClassicCharCodeForSpecialKey(keyCode); special != 0) return special;
  if (event->key() == Qt::Key_Backtab || event->key() == Qt::Key_Tab) return kTabCharCode;
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).unicode() >= 32 && text.at(0).unicode() < 256 &&
      text.at(0).unicode() != 127) {
    return static_cast<uint8_t>(text.at(0).unicode());
  }
  const int key = event->key();
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    return static_cast<uint8_t>(((event->modifiers() & Qt::ShiftModifier) ? 'A' : 'a') + (key - Qt::Key_A));
  }
  if (key >= 32 && key < 127) return static_cast<uint8_t>(key);
  return 0;
}

// Where the menu titles sit in the strip: left edges and widths.
struct TitleSlot {
  MenuRef menu;
  int left;
  int width;
};
std::vector<TitleSlot> LayOutTitles(const QFontMetrics& metrics) {
  std::vector<TitleSlot> titles;
  int x = 8;
  for (MenuRef menu : GetMenuBarMenus()) {
    const int width = metrics.horizontalAdvance(Latin1(GetMenuTitleText(menu))) + 16;
    titles.push_back({menu, x, width});
    x += width;
  }
  return titles;
}

class WindowWidget : public QWidget {
 public:
  WindowWidget(QtToolboxBackend* backend, WindowRef window) : backend_(backend), window_(window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
  }

  WindowRef window() const { return window_; }
  int StripHeight() const { return GetMenuBarWindow() == window_ ? kMenuBarHeight : 0; }
  void PlaceFromModel() {
    const Rect& b = window_->bounds;
    placing_ = true;
    setGeometry(b.left, b.top - StripHeight(), b.right - b.left, b.bottom - b.top + StripHeight());
    placing_ = false;
  }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override { Mouse(mouseDown, e); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { Mouse(mouseDown, e); }
  void mouseReleaseEvent(QMouseEvent* e) override { Mouse(mouseUp, e); }
  void mouseMoveEvent(QMouseEvent* e) override { SetGlobalMouse(ToPoint(e->globalPosition())); }
  void keyPressEvent(QKeyEvent* e) override { Key(e->isAutoRepeat() ? autoKey : keyDown, e); }
  void keyReleaseEvent(QKeyEvent* e) override {
    if (!e->isAutoRepeat()) Key(keyUp, e);
  }
  void moveEvent(QMoveEvent*) override { FollowWindowManager(); }
  void closeEvent(QCloseEvent* e) override;
  bool focusNextPrevChild(bool) override { return false; }  // Tab is the program's

 private:
  void Mouse(EventKind what, QMouseEvent* e);
  void Key(EventKind what, QKeyEvent* e);
  // The user moved the window with the window manager: the model follows.
  void FollowWindowManager() {
    if (placing_ || CheckedWindow(window_) == nullptr) return;
    const QPoint topLeft = geometry().topLeft();
    Rect& b = window_->bounds;
    const int16_t height = b.bottom - b.top, width = b.right - b.left;
    b.top = static_cast<int16_t>(topLeft.y() + StripHeight());
    b.left = static_cast<int16_t>(topLeft.x());
    b.bottom = static_cast<int16_t>(b.top + height);
    b.right = static_cast<int16_t>(b.left + width);
  }
  void PaintMenuBar(QPainter& p);
  void PaintControl(QPainter& p, ControlRef c, int dy);

  QtToolboxBackend* backend_;
  WindowRef window_;
  bool placing_ = false;
};

class QtToolboxBackend : public ToolboxBackend {
 public:
  QtToolboxBackend() {
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, [this](Qt::ApplicationState state) {
      const bool active = state == Qt::ApplicationActive;
      if (active == active_ || !ToolboxIsRunning()) return;
      active_ = active;
      PostSuspendResumeEvent(active);
      InputArrived();
    });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, [this](QSessionManager&) {
      if (!ToolboxIsRunning()) return;
      RequestQuitFromSystem();
      InputArrived();
    });
  }
  ~QtToolboxBackend() override {
    for (auto& [window, widget] : widgets_) delete widget;
  }

  void InputArrived() {
    if (waitLoop_ != nullptr) waitLoop_->quit();
  }

  void WaitForInput(int64_t timeoutMs) override {
    if (const int fd = GetQuitSignalWakeFd(); fd >= 0 && !signalNotifier_) {
      signalNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
      QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [this] {
        CheckQuitSignals();
        InputArrived();
      });
    }
    if (timeoutMs <= 0 || waitLoop_ != nullptr) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::min<int64_t>(timeoutMs, 1 << 30)));
    waitLoop_ = &loop;
    // Input already waiting is taken in first; the loop sleeps only when it
    // brought nothing.
    const size_t queued = TB().queue.size();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (TB().queue.size() == queued && timer.isActive()) loop.exec();
    waitLoop_ = nullptr;
  }

  void WindowChanged(WindowRef window, WindowChange change) override {
    switch (change) {
      case WindowChange::kCreated: {
        auto* widget = new WindowWidget(this, window);
        widget->setWindowTitle(Latin1(window->title));
        widget->setCursor(cursor_ == CursorShape::kPointingHand ? Qt::PointingHandCursor : Qt::ArrowCursor);
        widget->PlaceFromModel();
        widgets_[window] = widget;
        if (window->visible) ShowWidget(widget);
        break;
      }
      case WindowChange::kDisposed:
        if (auto it = widgets_.find(window); it != widgets_.end()) {
          it->second->hide();
          it->second->deleteLater();
          widgets_.erase(it);
        }
        break;
      case WindowChange::kGeometry:
        if (auto* w = WidgetOf(window)) w->PlaceFromModel();
        break;
      case WindowChange::kVisibility:
        if (auto* w = WidgetOf(window)) {
          if (window->visible) {
            ShowWidget(w);
          } else {
            w->hide();
          }
        }
        break;
      case WindowChange::kOrder:
        if (auto* w = WidgetOf(window); w != nullptr && window->visible) {
          w->raise();
          w->activateWindow();
        }
        break;
      case WindowChange::kContent:
        if (auto* w = WidgetOf(window)) w->update();
        break;
      case WindowChange::kTitle:
        if (auto* w = WidgetOf(window)) w->setWindowTitle(Latin1(window->title));
        break;
    }
  }

  void MenuBarChanged() override {
    for (auto& [window, widget] : widgets_) {
      widget->PlaceFromModel();
      widget->update();
    }
  }

  int32_t TrackMenuBar(Point where) override {
    WindowWidget* host = WidgetOf(GetMenuBarWindow());
    if (host == nullptr) return 0;
    const QPoint local = host->mapFromGlobal(QPoint(where.h, where.v));
    for (const TitleSlot& slot : LayOutTitles(host->fontMetrics())) {
      if (local.x() < slot.left || local.x() >= slot.left + slot.width) continue;
      HiliteMenu(GetMenuID(slot.menu));
      const int16_t item = Choose(slot.menu, host->mapToGlobal(QPoint(slot.left, kMenuBarHeight)), 0);
      HiliteMenu(0);
      return item == 0 ? 0 : (static_cast<int32_t>(GetMenuID(slot.menu)) << 16) | item;
    }
    return 0;
  }

  int16_t TrackPopupMenu(ControlRef control) override {
    WindowWidget* widget = WidgetOf(control->owner);
    if (widget == nullptr || control->popupMenu == nullptr) return 0;
    const QPoint at =
        widget->mapToGlobal(QPoint(control->bounds.left, control->bounds.bottom + widget->StripHeight()));
    return Choose(control->popupMenu, at, static_cast<int16_t>(control->value));
  }

  int16_t TextOffsetAt(ControlRef control, Point local) override {
    WindowWidget* widget = WidgetOf(control->owner);
    if (widget == nullptr) return ToolboxBackend::TextOffsetAt(control, local);
    // The text is drawn from 4 pixels inside the box (PaintControl).
    const QString text = Latin1(control->text);
    const QFontMetrics metrics = widget->fontMetrics();
    const int x = local.h - control->bounds.left - 4;
    int16_t best = 0;
    int bestDistance = std::abs(x);
    for (int i = 1; i <= text.size(); ++i) {
      const int distance = std::abs(metrics.horizontalAdvance(text.left(i)) - x);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<int16_t>(i);
      }
    }
    return best;
  }

  void Beep() override { QApplication::beep(); }
  void MovePointer(Point global) override { QCursor::setPos(global.h, global.v); }
  void SetCursorShape(CursorShape shape) override {
    cursor_ = shape;
    for (auto& [window, widget] : widgets_) {
      widget->setCursor(shape == CursorShape::kPointingHand ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
  }
  OSErr OpenURL(std::string_view url) override {
    const QUrl address =
        QUrl::fromUserInput(QString::fromLatin1(url.data(), static_cast<qsizetype>(url.size())));
    if (!address.isValid()) return paramErr;
    return QDesktopServices::openUrl(address) ? noErr : ioErr;
  }
  std::optional<std::string> ClipboardText() override {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) return std::nullopt;
    return data->text().toLatin1().toStdString();
  }
  void SetClipboardText(std::optional<std::string_view> text) override {
    if (!text) {
      QGuiApplication::clipboard()->clear();
    } else {
      QGuiApplication::clipboard()->setText(
          QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size())));
    }
  }
  std::vector<Rect> ScreenBounds() override {
    std::vector<Rect> out;
    QScreen* primary = QGuiApplication::primaryScreen();
    auto add = [&](QScreen* s) {
      const QRect g = s->geometry();
      out.push_back(Rect{static_cast<int16_t>(g.top()), static_cast<int16_t>(g.left()),
                         static_cast<int16_t>(g.top() + g.height()),
                         static_cast<int16_t>(g.left() + g.width())});
    };
    if (primary != nullptr) add(primary);
    for (QScreen* s : QGuiApplication::screens()) {
      if (s != primary) add(s);
    }
    return out;
  }

 private:
  WindowWidget* WidgetOf(WindowRef window) {
    auto it = widgets_.find(window);
    return it != widgets_.end() ? it->second : nullptr;
  }
  void ShowWidget(WindowWidget* widget) {
    widget->PlaceFromModel();
    widget->show();
    if (FrontWindow() == widget->window()) {
      widget->raise();
      widget->activateWindow();
    }
  }
  // A menu of the model's items; the chosen item number or 0.
  int16_t Choose(MenuRef menu, QPoint at, int16_t current) {
    QMenu popup;
    QAction* active = nullptr;
    for (int16_t i = 1; i <= CountMenuItems(menu); ++i) {
      const std::string text = GetMenuItemTextString(menu, i);
      if (text == "-") {
        popup.addSeparator();
        continue;
      }
      QAction* action = popup.addAction(Latin1(text));
      action->setData(i);
      action->setEnabled(IsMenuItemEnabled(menu, i));
      if (const char key = GetMenuItemCommandKey(menu, i)) {
        action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(std::toupper(key))));
        action->setShortcutVisibleInContextMenu(true);
      }
      if (i == current) active = action;
    }
    if (active != nullptr) popup.setActiveAction(active);
    QAction* chosen = popup.exec(at, active);
    return chosen != nullptr ? static_cast<int16_t>(chosen->data().toInt()) : 0;
  }

  std::map<WindowRef, WindowWidget*> widgets_;
  QEventLoop* waitLoop_ = nullptr;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  CursorShape cursor_ = CursorShape::kArrow;
  bool active_ = false;
};

void WindowWidget::Mouse(EventKind what, QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !ToolboxIsRunning()) return;
  PostMouseEvent(what, ToPoint(e->globalPosition()), ModifiersOf(e->modifiers()));
  backend_->InputArrived();
}

void WindowWidget::Key(EventKind what, QKeyEvent* e) {
  if (!ToolboxIsRunning()) return;
  const uint8_t keyCode = ClassicKeyCodeFromX11(e->nativeScanCode());
  const uint8_t charCode = CharCodeOf(e, keyCode);
  // Modifier keys alone type nothing.
  if (charCode == 0 && keyCode == kUnknownClassicKeyCode) return;
  PostKeyEvent(what, charCode, keyCode == kUnknownClassicKeyCode ? 0 : keyCode, ModifiersOf(e->modifiers()));
  backend_->InputArrived();
}

void WindowWidget::closeEvent(QCloseEvent* e) {
  e->ignore();
  if (!ToolboxIsRunning() || CheckedWindow(window_) == nullptr) return;
  if (GetMenuBarWindow() == window_) {
    // Closing the program's main window (the one with the menu bar) quits.
    PostHighLevelEvent(kCoreEventClass, kAEQuitApplication);
  } else if (window_->closeBox) {
    // Anything else is asked as the program knows it: a click in the close box.
    const Rect s = GetWindowStructureRectGlobal(window_);
    const Point box{static_cast<int16_t>(s.top + kTitleBarHeight / 2),
                    static_cast<int16_t>(s.left + 6 + kCloseBoxSize / 2)};
    PostMouseEvent(mouseDown, box, 0);
    PostMouseEvent(mouseUp, box, 0);
  }
  backend_->InputArrived();
}

void WindowWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!ToolboxIsRunning() || CheckedWindow(window_) == nullptr) return;
  const int dy = StripHeight();
  if (dy > 0) PaintMenuBar(p);
  const PortPixels pixels = GetPortPixels(window_);
  if (pixels.width > 0 && pixels.height > 0) {
    const QImage picture(reinterpret_cast<const uchar*>(pixels.pixels), pixels.width, pixels.height,
                         pixels.width * 4, QImage::Format_RGB32);
    p.drawImage(0, dy, picture);
  }
  for (const auto& control : window_->controls) {
    if (control->visible && control->kind != ControlKind::kRoot) PaintControl(p, control.get(), dy);
  }
}

void WindowWidget::PaintMenuBar(QPainter& p) {
  const QRect strip(0, 0, width(), kMenuBarHeight);
  p.fillRect(strip, palette().window());
  p.setPen(palette().mid().color());
  p.drawLine(strip.bottomLeft(), strip.bottomRight());
  for (const TitleSlot& slot : LayOutTitles(fontMetrics())) {
    const QRect title(slot.left, 0, slot.width, kMenuBarHeight - 1);
    const bool hilited = GetHilitedMenu() == GetMenuID(slot.menu);
    if (hilited) p.fillRect(title, palette().highlight());
    p.setPen(hilited ? palette().highlightedText().color() : palette().windowText().color());
    p.drawText(title, Qt::AlignCenter, Latin1(GetMenuTitleText(slot.menu)));
  }
}

void WindowWidget::PaintControl(QPainter& p, ControlRef c, int dy) {
  const QRect r = ToQRect(c->bounds, dy);
  const bool active = IsControlActive(c);
  QStyle* s = style();
  QPalette pal = palette();
  if (!active) pal.setCurrentColorGroup(QPalette::Disabled);
  switch (c->kind) {
    case ControlKind::kPushButton: {
      QStyleOptionButton o;
      o.initFrom(this);
      o.rect = r;
      o.text = Latin1(c->text);
      o.state = (active ? QStyle::State_Enabled : QStyle::State_None) |
                (c->hilite == kControlButtonPart ? QStyle::State_Sunken : QStyle::State_Raised);
      DialogRef dialog = GetDialogFromWindow(window_);
      if (dialog != nullptr && GetDialogItemNumber(dialog, c) == GetDialogDefaultItem(dialog)) {
        o.features |= QStyleOptionButton::DefaultButton;
      }
      s->drawControl(QStyle::CE_PushButton, &o, &p, this);
      break;
    }
    case ControlKind::kCheckBox: {
      QStyleOptionButton o;
      o.initFrom(this);
      o.rect = r;
      o.text = Latin1(c->text);
      o.state =
          (active ? QStyle::State_Enabled : QStyle::State_None) |
          (c->value == 1 ? QStyle::State_On : (c->value == 2 ? QStyle::State_NoChange : QStyle::State_Off)) |
          (c->hilite == kControlCheckBoxPart ? QStyle::State_Sunken : QStyle::State_None);
      s->drawControl(QStyle::CE_CheckBox, &o, &p, this);
      break;
    }
    case ControlKind::kStaticText:
      p.setPen(pal.color(QPalette::WindowText));
      p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Latin1(c->text));
      break;
    case ControlKind::kEditText: {
      QStyleOptionFrame o;
      o.initFrom(this);
      o.rect = r;
      o.lineWidth = s->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, this);
      o.state = (active ? QStyle::State_Enabled : QStyle::State_None) | QStyle::State_Sunken |
                (window_->focus == c ? QStyle::State_HasFocus : QStyle::State_None);
      s->drawPrimitive(QStyle::PE_PanelLineEdit, &o, &p, this);
      const QRect inner = r.adjusted(4, 1, -4, -1);
      const QString text = Latin1(c->text);
      const ControlEditTextSelectionRec sel = GetEditTextSelection(c);
      const QFontMetrics m = fontMetrics();
      const int baseline = inner.top() + (inner.height() + m.ascent() - m.descent()) / 2;
      const int selLeft = inner.left() + m.horizontalAdvance(text.left(sel.selStart));
      const int selRight = inner.left() + m.horizontalAdvance(text.left(sel.selEnd));
      p.save();
      p.setClipRect(inner);
      if (window_->focus == c && sel.selStart != sel.selEnd) {
        p.fillRect(QRect(selLeft, inner.top() + 2, selRight - selLeft, inner.height() - 4), pal.highlight());
      }
      p.setPen(pal.color(QPalette::Text));
      p.drawText(inner.left(), baseline, text);
      if (IsEditTextCaretVisible(c) && sel.selStart == sel.selEnd) {
        p.drawLine(selLeft, inner.top() + 3, selLeft, inner.bottom() - 3);
      }
      p.restore();
      break;
    }
    case ControlKind::kPopupMenu: {
      QStyleOptionComboBox o;
      o.initFrom(this);
      o.rect = r;
      o.state =
          (active ? QStyle::State_Enabled : QStyle::State_None) |
          (c->hilite != 0 && c->hilite != kControlInactivePart ? QStyle::State_Sunken : QStyle::State_None);
      o.currentText = Latin1(GetMenuItemTextString(c->popupMenu, static_cast<int16_t>(c->value)));
      s->drawComplexControl(QStyle::CC_ComboBox, &o, &p, this);
      s->drawControl(QStyle::CE_ComboBoxLabel, &o, &p, this);
      break;
    }
    case ControlKind::kSlider: {
      QStyleOptionSlider o;
      o.initFrom(this);
      o.rect = r;
      o.orientation = Qt::Horizontal;
      o.minimum = c->minimum;
      o.maximum = c->maximum;
      o.sliderPosition = o.sliderValue = c->value;
      o.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
      o.activeSubControls = c->hilite == kControlIndicatorPart ? QStyle::SC_SliderHandle : QStyle::SC_None;
      o.state = (active ? QStyle::State_Enabled : QStyle::State_None) | QStyle::State_Horizontal |
                (c->hilite == kControlIndicatorPart ? QStyle::State_Sunken : QStyle::State_None);
      s->drawComplexControl(QStyle::CC_Slider, &o, &p, this);
      break;
    }
    case ControlKind::kUserPane:
    case ControlKind::kRoot:
      break;
  }
}

}  // namespace

std::unique_ptr<ToolboxBackend> MakeQtToolboxBackend() {
  return std::make_unique<QtToolboxBackend>();
}

}  // namespace fw
