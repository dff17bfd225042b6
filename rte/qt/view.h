// The Qt Widgets view of the model: one widget per control, a window (or MDI sub-window) per
// panel. Only the view's own source files include this; the rest of the engine talks to it
// through rte::view in internal.h.
//
// The model is the truth. Observer callbacks only mark what changed; a short timer applies the
// changes to the widgets at most ~30 times a second, comparing version counters, so a burst of
// telemetry costs one repaint. Whatever the user does goes back through the model's functions
// (SendEvent, UserSetValue, UserMenu, ...), never straight into a widget.
#pragma once

#include <QColor>
#include <QObject>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "model.h"

class QLabel;
class QFrame;
class QMdiArea;
class QMdiSubWindow;
class QMenuBar;
class QVBoxLayout;
class QKeyEvent;
class QMouseEvent;

namespace rte::view {

class View;
class PanelWin;

// Colours of the model are 0xRRGGBB.
inline QColor ToColor(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A list label may start with colour escapes: ESC "fg" RRGGBB (text colour) or ESC "bg" RRGGBB
// (background). They are not shown; the rest of the label is, as plain text.
struct StyledLabel {
  QString text;
  bool hasFg = false, hasBg = false;
  QColor fg, bg;
};
StyledLabel ParseStyledLabel(const std::string& label);

// Number shown in a numeric control, honouring data type, format and precision.
QString FormatNumeric(const model::Control& c);
// Reads what the user typed into a numeric control; false when it is not a number.
bool ParseNumeric(const model::Control& c, const QString& text, double* value);

// The widgets of one control on a panel's canvas: a caption (the label), the body and a frame
// drawn behind the body when the frame colour differs from the panel's background.
class CtrlView : public QObject {
 public:
  CtrlView(View* view, PanelWin* win, const model::Control& c);
  ~CtrlView() override;

  int panel() const;
  int id() const { return id_; }
  CtrlType type() const { return type_; }
  QWidget* body() const { return body_; }
  QWidget* focusWidget() const;

  // Brings the widgets in line with the control (only when its version moved, unless forced).
  void update(const model::Panel& p, const model::Control& c, bool force);

 protected:
  // Type-specific part of update().
  virtual void applyValue(const model::Panel& p, const model::Control& c) = 0;
  // Where the caption goes; the default is above the body.
  virtual void placeCaption(const QRect& bodyRect);
  // Sets the body widget and watches its input (and its children's, e.g. viewports).
  void setBody(QWidget* w);
  void watch(QWidget* w);
  bool eventFilter(QObject* o, QEvent* e) override;
  // Keys of a text-entry control; true when the key was handled here.
  virtual bool onKey(QKeyEvent* e) { return false; }
  // Around the click event sent to the callback.
  virtual void onMouse(QMouseEvent* e, QWidget* from, int event) {}
  virtual void afterMouse(QMouseEvent* e, QWidget* from, int event) {}
  virtual void applyColors(const model::Control& c);
  virtual bool showCaption() const { return true; }

  // Sends an event to the control's callback as the user's doing.
  int send(int event, int d1 = 0, int d2 = 0);
  QPoint canvasPos(QWidget* from, const QPoint& p) const;

  View* view_;
  PanelWin* win_;
  int id_;
  CtrlType type_;
  // Guarded: when a panel goes, Qt may delete the widgets before this object.
  QPointer<QWidget> body_;
  QPointer<QLabel> caption_;
  QPointer<QFrame> frame_;
  std::vector<QPointer<QObject>> watched_;
  std::uint64_t shown_ = ~std::uint64_t(0);
  bool applying_ = false;  // true while the view writes into the widgets (ignore their signals)
  int mode_ = VAL_NORMAL;
  std::string label_;
  int textColor_ = -1, bgColor_ = -1, frameColor_ = -1, panelBg_ = -1;
  QRect rect_;
  bool visible_ = true, dimmed_ = false;
};

QSize DefaultCtrlSize(CtrlType t);
CtrlView* MakeCtrlView(View* view, PanelWin* win, const model::Control& c);  // nullptr for timers
CtrlView* MakeGraphView(View* view, PanelWin* win, const model::Control& c);
CtrlView* MakeStripView(View* view, PanelWin* win, const model::Control& c);

// The widget of a panel. Top-level panels are their own windows; child panels sit in a
// QMdiSubWindow inside their parent's MDI area, which the parent creates when its first child
// arrives.
class PanelWin : public QWidget {
 public:
  PanelWin(View* view, int handle, int parent, QWidget* parentWidget);
  ~PanelWin() override;

  int handle() const { return handle_; }
  int parentHandle() const { return parent_; }
  QWidget* canvas() const { return canvas_; }
  QMdiArea* mdi();  // created on first use
  QMdiSubWindow* sub() const { return sub_; }
  void setSub(QMdiSubWindow* s);
  // The outermost widget: the sub-window for a child panel, this for a top-level one.
  QWidget* frameWidget();

  void applyPanel(const model::Panel& p, bool force);
  void applyControl(const model::Panel& p, const model::Control& c, bool force);
  void syncControls(const model::Panel& p);  // creates widgets for controls that lack one
  CtrlView* ctrl(int id) const;
  void focusControl(int id);
  // Where a control goes: its place in the model, or one found here when the model has none.
  QRect placeOf(const model::Control& c) const;
  // The panel is gone from the model: hide, ignore input, wait to be deleted.
  void retire();
  bool dead() const { return dead_; }
  View* view() const { return view_; }

 protected:
  void closeEvent(QCloseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  void buildMenus(const model::Panel& p);
  void applyGeometry(const model::Panel& p);
  void applyBackground(const model::Panel& p);
  void applyVisibility(const model::Panel& p);
  void writeBackGeometry();
  void panelMouse(QMouseEvent* e);

  View* view_;
  int handle_, parent_;
  QMdiSubWindow* sub_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  QWidget* canvas_ = nullptr;
  QMdiArea* mdi_ = nullptr;
  std::map<int, CtrlView*> ctrls_;  // owned by the canvas (Qt parent)
  std::map<int, QRect> fallback_;
  bool dead_ = false;
  std::uint64_t shown_ = ~std::uint64_t(0);
  std::string menuSig_;
  std::string title_;
  int bg_ = -1, top_ = INT32_MIN, left_ = INT32_MIN, width_ = -1, height_ = -1, zoom_ = -1;
  int visible_ = -1;
  int canvasW_ = -1, canvasH_ = -1;
  bool applying_ = false;
};

class View : public QObject, public model::Observer {
 public:
  View();
  ~View() override;

  // model::Observer: mark only.
  void panelAdded(int panel) override;
  void panelRemoved(int panel) override;
  void panelChanged(int panel) override;
  void controlChanged(int panel, int control) override;
  void activeChanged(int panel, int control) override;

  // Applies everything marked.
  void flush();
  PanelWin* win(int panel) const;
  // Widget to render for a panel (created and brought up to date first); nullptr if unknown.
  QWidget* renderTarget(int panel);

  // User input. Sends through the model and keeps the view from deleting widgets meanwhile.
  int send(int panel, int control, int event, int d1 = 0, int d2 = 0);
  int userSetValue(int panel, int control, double v);
  int userSetValue(int panel, int control, const std::string& v);
  int userMenu(int panel, int item);
  int setIndex(int panel, int control, int index);
  int checkItem(int panel, int control, int index, bool checked);
  int setText(int panel, int control, const std::string& v);
  int setNumber(int panel, int control, double v);
  int setCursor(int panel, int control, double x, double y);
  void userFocused(int panel, int control);
  // Called when a user action ends: anything it changed is shown soon.
  void schedule();

 private:
  struct InputScope;
  void createWin(int panel);
  void destroyWin(int panel);
  bool canDestroy() const;
  void applyFocus();

  QTimer timer_;
  std::map<int, PanelWin*> wins_;
  std::vector<QPointer<PanelWin>> graveyard_;  // retired, deleted once nothing is on the stack
  std::set<int> added_, removed_, dirtyPanels_;
  std::unordered_set<std::uint64_t> dirtyCtrls_;
  bool focusDirty_ = false;
  int inInput_ = 0;      // >0 while a user action is being delivered
  int settingActive_ = 0;  // >0 while the view itself tells the model about focus
  bool flushing_ = false;
};

View* Instance();
// The Qt dialog pop-ups (view_popups.cpp).
PopupBackend* MakeQtPopups();

}  // namespace rte::view
