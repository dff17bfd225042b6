// Panels as windows, the repaint timer, focus, and the entry points of rte::view (attach,
// render to PNG, print).
#include "view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>
#include <QVBoxLayout>

#include <algorithm>

#include "internal.h"
#include "rte/app.h"

namespace rte::view {

namespace {
View* g_view = nullptr;

model::Model& M() { return model::Model::get(); }

std::uint64_t Key(int panel, int control) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(panel)) << 32) |
         static_cast<std::uint32_t>(control);
}

// Panels older programs size by hand may come without a size: take the controls' extent.
QSize PanelSize(const model::Panel& p) {
  int w = p.width, h = p.height;
  if (w <= 0 || h <= 0) {
    int r = 0, b = 0;
    for (const auto& c : p.controls) {
      if (c->type == CTRL_TIMER || c->left < 0 || c->top < 0) continue;
      r = std::max(r, c->left + std::max(c->width, 0));
      b = std::max(b, c->top + std::max(c->height, 0));
    }
    if (w <= 0) w = std::max(200, r + 8);
    if (h <= 0) h = std::max(80, b + 8);
  }
  return {w, h};
}

void Detach() {
  if (!g_view) return;
  M().removeObserver(g_view);
  delete g_view;
  g_view = nullptr;
}
}  // namespace

View* Instance() { return g_view; }

// ---------------------------------------------------------------------------------------------
// View
// ---------------------------------------------------------------------------------------------

struct View::InputScope {
  explicit InputScope(View* v) : v(v) { ++v->inInput_; }
  ~InputScope() {
    --v->inInput_;
    v->schedule();
  }
  View* v;
};

View::View() {
  timer_.setSingleShot(true);
  timer_.setInterval(33);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { flush(); });
  QObject::connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    // Walk up to the control or panel the newly focused widget belongs to.
    for (QWidget* w = now; w; w = w->parentWidget()) {
      QVariant pv = w->property("rtePanel");
      if (pv.isValid()) {
        userFocused(pv.toInt(), w->property("rteCtrl").toInt());
        return;
      }
    }
  });
  M().addObserver(this);
  for (int h : M().handles()) added_.insert(h);
  schedule();
}

View::~View() {
  M().removeObserver(this);
  // Children before parents: a parent's MDI area owns its children's sub-windows.
  for (auto it = wins_.rbegin(); it != wins_.rend(); ++it) {
    QPointer<PanelWin> w = it->second;
    if (w) delete w->frameWidget();
  }
  wins_.clear();
  for (auto& g : graveyard_)
    if (g) delete g->frameWidget();
}

void View::panelAdded(int panel) {
  added_.insert(panel);
  schedule();
}
void View::panelRemoved(int panel) {
  removed_.insert(panel);
  added_.erase(panel);
  schedule();
}
void View::panelChanged(int panel) {
  dirtyPanels_.insert(panel);
  schedule();
}
void View::controlChanged(int panel, int control) {
  dirtyCtrls_.insert(Key(panel, control));
  schedule();
}
void View::activeChanged(int panel, int control) {
  // The view's own report of a focus change needs no echo.
  if (settingActive_ > 0) return;
  focusDirty_ = true;
  schedule();
}

void View::schedule() {
  if (!timer_.isActive()) timer_.start();
}

PanelWin* View::win(int panel) const {
  auto it = wins_.find(panel);
  return it == wins_.end() ? nullptr : it->second;
}

bool View::canDestroy() const {
  // A widget may be deleted only when nothing of ours or of the program is on the stack: a
  // callback that discards its own panel from a button click returns into that button.
  return inInput_ == 0 && model::CallbackDepth() == 0 && !PopupOpen();
}

void View::createWin(int h) {
  model::Panel* p = M().panel(h);
  if (!p) return;
  PanelWin* parentWin = p->parent ? win(p->parent) : nullptr;
  auto* w = new PanelWin(this, h, parentWin ? p->parent : 0, nullptr);
  if (parentWin) {
    QMdiSubWindow* sub = parentWin->mdi()->addSubWindow(w);
    sub->hide();
    w->setSub(sub);
  }
  wins_[h] = w;
  w->applyPanel(*p, true);
}

void View::destroyWin(int h) {
  auto it = wins_.find(h);
  if (it == wins_.end()) return;
  PanelWin* w = it->second;
  wins_.erase(it);
  w->retire();
  graveyard_.push_back(w);
}

void View::flush() {
  if (flushing_) return;
  flushing_ = true;
  timer_.stop();
  for (int h : removed_) destroyWin(h);
  removed_.clear();
  // Handles count up, so a parent is always built before its children.
  std::set<int> added;
  added.swap(added_);
  for (int h : added) {
    if (!M().panel(h)) continue;
    destroyWin(h);  // a handle used again after the model was cleared
    createWin(h);
  }
  std::set<int> panels;
  panels.swap(dirtyPanels_);
  for (int h : panels) {
    model::Panel* p = M().panel(h);
    PanelWin* w = win(h);
    if (p && w) w->applyPanel(*p, false);
  }
  std::unordered_set<std::uint64_t> ctrls;
  ctrls.swap(dirtyCtrls_);
  for (std::uint64_t k : ctrls) {
    int h = static_cast<int>(k >> 32), id = static_cast<int>(k & 0xFFFFFFFFu);
    model::Panel* p = M().panel(h);
    PanelWin* w = win(h);
    if (!p || !w) continue;
    if (model::Control* c = p->find(id)) w->applyControl(*p, *c, false);
  }
  if (focusDirty_) {
    focusDirty_ = false;
    applyFocus();
  }
  if (!graveyard_.empty() && canDestroy()) {
    auto dead = std::move(graveyard_);
    graveyard_.clear();
    // Children first; deleting a parent takes its children's sub-windows with it.
    for (auto it = dead.rbegin(); it != dead.rend(); ++it)
      if (*it) delete (*it)->frameWidget();
  }
  flushing_ = false;
  // Whatever arrived while applying (a widget's signal into the model) goes in the next round.
  if (!added_.empty() || !removed_.empty() || !dirtyPanels_.empty() || !dirtyCtrls_.empty() ||
      focusDirty_ || !graveyard_.empty())
    schedule();
}

QWidget* View::renderTarget(int panel) {
  flush();
  PanelWin* w = win(panel);
  if (!w) {
    if (!M().panel(panel)) return nullptr;
    createWin(panel);
    w = win(panel);
  }
  return w;
}

void View::applyFocus() {
  int ap = M().activePanel;
  model::Panel* p = M().panel(ap);
  PanelWin* w = win(ap);
  if (!p || !w || !w->isVisible()) return;
  if (QMdiSubWindow* sub = w->sub()) {
    if (QMdiArea* area = sub->mdiArea()) area->setActiveSubWindow(sub);
  } else {
    w->activateWindow();
    w->raise();
  }
  w->focusControl(p->activeCtrl);
}

void View::userFocused(int panel, int control) {
  if (flushing_) return;  // the view moving focus itself, from the model
  model::Panel* p = M().panel(panel);
  if (!p) return;
  if (M().activePanel == panel && (control == 0 || p->activeCtrl == control)) return;
  ++settingActive_;
  if (M().activePanel != panel) SetActivePanel(panel);
  if (control > 0 && p->find(control)) SetActiveCtrl(panel, control);
  --settingActive_;
}

int View::send(int panel, int control, int event, int d1, int d2) {
  InputScope s(this);
  return SendEvent(panel, control, event, d1, d2);
}
int View::userSetValue(int panel, int control, double v) {
  InputScope s(this);
  return UserSetValue(panel, control, v);
}
int View::userSetValue(int panel, int control, const std::string& v) {
  InputScope s(this);
  return UserSetValue(panel, control, v);
}
int View::userMenu(int panel, int item) {
  InputScope s(this);
  return UserMenu(panel, item);
}
int View::setIndex(int panel, int control, int index) {
  InputScope s(this);
  return SetCtrlIndex(panel, control, index);
}
int View::checkItem(int panel, int control, int index, bool checked) {
  InputScope s(this);
  return CheckListItem(panel, control, index, checked ? 1 : 0);
}
int View::setText(int panel, int control, const std::string& v) {
  InputScope s(this);
  return SetCtrlVal(panel, control, v);
}
int View::setNumber(int panel, int control, double v) {
  InputScope s(this);
  return SetCtrlVal(panel, control, v);
}
int View::setCursor(int panel, int control, double x, double y) {
  InputScope s(this);
  return SetGraphCursor(panel, control, 1, x, y);
}

// ---------------------------------------------------------------------------------------------
// PanelWin
// ---------------------------------------------------------------------------------------------

PanelWin::PanelWin(View* view, int handle, int parent, QWidget* parentWidget)
    : QWidget(parentWidget), view_(view), handle_(handle), parent_(parent) {
  setProperty("rtePanel", handle);
  setProperty("rteCtrl", 0);
  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(0);
  canvas_ = new QWidget(this);
  canvas_->setAutoFillBackground(true);
  canvas_->installEventFilter(this);
  layout_->addWidget(canvas_, 0, Qt::AlignTop | Qt::AlignLeft);
  layout_->addStretch(0);
}

PanelWin::~PanelWin() {
  // The canvas and the sub-window outlive this part of the object by a moment.
  canvas_->removeEventFilter(this);
  if (sub_) sub_->removeEventFilter(this);
}

QWidget* PanelWin::frameWidget() { return sub_ ? static_cast<QWidget*>(sub_) : this; }

void PanelWin::retire() {
  dead_ = true;
  applying_ = true;
  frameWidget()->hide();
}

void PanelWin::setSub(QMdiSubWindow* s) {
  sub_ = s;
  sub_->setAttribute(Qt::WA_DeleteOnClose, false);
  sub_->installEventFilter(this);
}

QMdiArea* PanelWin::mdi() {
  if (!mdi_) {
    // Child panels float over their parent's surface: the MDI area fills the window and the
    // parent's own controls are drawn on its viewport, beneath the sub-windows.
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setFrameShape(QFrame::NoFrame);
    layout_->removeWidget(canvas_);
    delete layout_->takeAt(layout_->count() - 1);  // the stretch below the canvas
    layout_->addWidget(mdi_, 1);
    canvas_->setParent(mdi_->viewport());
    canvas_->move(0, 0);
    canvas_->lower();
    canvas_->show();
    mdi_->show();
    canvasW_ = canvasH_ = -1;
    bg_ = -1;
    if (model::Panel* p = model::Model::get().panel(handle_)) {
      applyGeometry(*p);
      applyBackground(*p);
    }
  }
  return mdi_;
}

void PanelWin::applyBackground(const model::Panel& p) {
  if (p.bgColor == bg_) return;
  bg_ = p.bgColor;
  QPalette pal = canvas_->palette();
  pal.setColor(QPalette::Window, ToColor(p.bgColor));
  canvas_->setPalette(pal);
  if (mdi_) mdi_->setBackground(ToColor(p.bgColor));
}

CtrlView* PanelWin::ctrl(int id) const {
  auto it = ctrls_.find(id);
  return it == ctrls_.end() ? nullptr : it->second;
}

QRect PanelWin::placeOf(const model::Control& c) const {
  auto it = fallback_.find(c.id);
  if (it != fallback_.end()) return it->second;
  return QRect(c.left, c.top, std::max(c.width, 1), std::max(c.height, 1));
}

QSize DefaultCtrlSize(CtrlType t) {
  switch (t) {
    case CTRL_LED: return {16, 16};
    case CTRL_BINARY_SWITCH: return {60, 24};
    case CTRL_COMMAND_BUTTON: return {90, 26};
    case CTRL_TEXT_BOX: return {300, 120};
    case CTRL_LIST_BOX: return {240, 140};
    case CTRL_GRAPH:
    case CTRL_STRIP_CHART: return {320, 200};
    default: return {120, 22};
  }
}

void PanelWin::syncControls(const model::Panel& p) {
  std::set<int> ids;
  for (const auto& c : p.controls) ids.insert(c->id);
  for (auto it = ctrls_.begin(); it != ctrls_.end();) {
    if (!ids.count(it->first)) {
      it->second->deleteLater();
      it = ctrls_.erase(it);
    } else {
      ++it;
    }
  }
  // Positions the model's layout left open (a control added without one) flow down a column
  // right of everything placed, labels above as everywhere else.
  fallback_.clear();
  int right = 0;
  for (const auto& c : p.controls)
    if (c->type != CTRL_TIMER && c->left >= 0 && c->top >= 0)
      right = std::max(right, c->left + std::max(c->width, 1));
  int x = right + 16, y = 24;
  for (const auto& c : p.controls) {
    if (c->type == CTRL_TIMER) continue;
    QSize def = DefaultCtrlSize(c->type);
    int w = c->width > 0 ? c->width : def.width(), h = c->height > 0 ? c->height : def.height();
    if (c->left < 0 || c->top < 0) {
      fallback_[c->id] = QRect(x, y, w, h);
      y += h + 24;
    } else if (c->width <= 0 || c->height <= 0) {
      fallback_[c->id] = QRect(c->left, c->top, w, h);
    }
  }
  for (const auto& c : p.controls) {
    auto it = ctrls_.find(c->id);
    if (it != ctrls_.end() && it->second->type() == c->type) continue;
    if (it != ctrls_.end()) {
      it->second->deleteLater();
      ctrls_.erase(it);
    }
    if (CtrlView* v = MakeCtrlView(view_, this, *c)) ctrls_[c->id] = v;
  }
}

void PanelWin::applyControl(const model::Panel& p, const model::Control& c, bool force) {
  if (dead_) return;
  CtrlView* v = ctrl(c.id);
  if (!v && c.type != CTRL_TIMER) {
    syncControls(p);
    v = ctrl(c.id);
    force = true;
  }
  if (v) v->update(p, c, force);
}

void PanelWin::buildMenus(const model::Panel& p) {
  std::string sig;
  for (const auto& m : p.menus) {
    sig += m.label + '\x1f';
    for (const auto& it : m.items)
      sig += std::to_string(it.id) + ':' + it.label + (it.checked ? "+" : "-") +
             (it.dimmed ? "d" : "e") + '\x1e';
    sig += '\x1d';
  }
  if (sig == menuSig_) return;
  menuSig_ = sig;
  if (p.menus.empty()) {
    if (menuBar_) {
      layout_->setMenuBar(nullptr);
      delete menuBar_;
      menuBar_ = nullptr;
    }
    return;
  }
  if (!menuBar_) {
    menuBar_ = new QMenuBar(this);
    menuBar_->setNativeMenuBar(false);
    layout_->setMenuBar(menuBar_);
  }
  menuBar_->clear();
  for (const auto& m : p.menus) {
    QMenu* menu = menuBar_->addMenu(QString::fromStdString(m.label));
    for (const auto& it : m.items) {
      // Menu texts come from resource files; an '&' there is a character, not a mnemonic.
      QString text = QString::fromStdString(it.label).replace('&', "&&");
      QAction* a = menu->addAction(text);
      a->setCheckable(it.checked);
      a->setChecked(it.checked);
      a->setEnabled(!it.dimmed);
      int id = it.id;
      QObject::connect(a, &QAction::triggered, this, [this, id] {
        if (!dead_) view_->userMenu(handle_, id);
      });
    }
  }
}

void PanelWin::applyGeometry(const model::Panel& p) {
  QSize size = PanelSize(p);
  int mb = menuBar_ ? menuBar_->sizeHint().height() : 0;
  int cw = size.width(), ch = size.height();
  if (cw != canvasW_ || ch != canvasH_) {
    canvas_->setFixedSize(cw, ch);
    canvasW_ = cw;
    canvasH_ = ch;
  }
  QRect want(p.left, p.top, size.width(), size.height() + mb);
  if (sub_) {
    resize(want.size());
    setMinimumSize(mdi_ ? QSize(200, 100) : want.size());
    sub_->resize(sub_->sizeHint());
    sub_->move(p.left, p.top);
  } else {
    setGeometry(want);
  }
  top_ = p.top;
  left_ = p.left;
  width_ = p.width;
  height_ = p.height;
}

void PanelWin::applyVisibility(const model::Panel& p) {
  QWidget* f = frameWidget();
  if (!p.visible) {
    if (!f->isHidden()) f->hide();
    return;
  }
  switch (p.zoom) {
    case VAL_MAXIMIZE:
      if (!f->isMaximized() || f->isHidden()) f->showMaximized();
      break;
    case VAL_MINIMIZE:
      if (!f->isMinimized() || f->isHidden()) f->showMinimized();
      break;
    default:
      if (f->isMaximized() || f->isMinimized() || f->isHidden()) f->showNormal();
      break;
  }
}

void PanelWin::applyPanel(const model::Panel& p, bool force) {
  if (dead_) return;
  if (!force && p.version == shown_) return;
  shown_ = p.version;
  applying_ = true;
  syncControls(p);
  if (force || p.title != title_) {
    title_ = p.title;
    QString t = QString::fromStdString(p.title);
    setWindowTitle(t);
    if (sub_) sub_->setWindowTitle(t);
  }
  buildMenus(p);
  bool bgMoved = p.bgColor != bg_;
  applyBackground(p);
  if (force || p.top != top_ || p.left != left_ || p.width != width_ || p.height != height_)
    applyGeometry(p);
  // Controls are drawn against the panel's colour (frames show only where they differ).
  for (const auto& c : p.controls) applyControl(p, *c, force || bgMoved);
  if (force || p.zoom != zoom_ || int(p.visible) != visible_) {
    zoom_ = p.zoom;
    visible_ = p.visible;
    applyVisibility(p);
  }
  applying_ = false;
}

void PanelWin::focusControl(int id) {
  CtrlView* v = ctrl(id);
  if (!v) return;
  QWidget* f = v->focusWidget();
  if (f && !f->hasFocus() && f->isVisible() && f->isEnabled()) f->setFocus(Qt::OtherFocusReason);
}

void PanelWin::closeEvent(QCloseEvent* e) {
  // The program decides what closing means (hide, or quit for the main window).
  e->ignore();
  if (!dead_) view_->send(handle_, 0, EVENT_CLOSE);
}

void PanelWin::writeBackGeometry() {
  if (applying_ || dead_) return;
  model::Panel* p = model::Model::get().panel(handle_);
  if (!p || !frameWidget()->isVisible()) return;
  // The user moved or sized the window: the model learns it quietly, so a saved layout holds
  // what is on the screen, without echoing back into the window.
  QPoint pos = sub_ ? sub_->pos() : geometry().topLeft();
  p->top = top_ = pos.y();
  p->left = left_ = pos.x();
}

void PanelWin::moveEvent(QMoveEvent* e) {
  QWidget::moveEvent(e);
  if (!sub_ && e->spontaneous()) writeBackGeometry();
}

void PanelWin::resizeEvent(QResizeEvent* e) { QWidget::resizeEvent(e); }

void PanelWin::panelMouse(QMouseEvent* e) {
  if (dead_) return;
  QPoint pos = e->position().toPoint();
  if (e->type() == QEvent::MouseButtonDblClick && e->button() == Qt::LeftButton)
    view_->send(handle_, 0, EVENT_LEFT_DOUBLE_CLICK, pos.y(), pos.x());
  else if (e->type() == QEvent::MouseButtonPress && e->button() == Qt::LeftButton)
    view_->send(handle_, 0, EVENT_LEFT_CLICK, pos.y(), pos.x());
  else if (e->type() == QEvent::MouseButtonPress && e->button() == Qt::RightButton)
    view_->send(handle_, 0, EVENT_RIGHT_CLICK, pos.y(), pos.x());
}

bool PanelWin::eventFilter(QObject* o, QEvent* e) {
  if (o == canvas_) {
    // Only clicks on the panel itself: a control's click that no widget took comes up here too.
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
      auto* me = static_cast<QMouseEvent*>(e);
      if (!canvas_->childAt(me->position().toPoint())) panelMouse(me);
    }
    return false;
  }
  if (o == sub_) {
    if (e->type() == QEvent::Close) {
      e->ignore();
      if (!dead_) view_->send(handle_, 0, EVENT_CLOSE);
      return true;
    }
    if (e->type() == QEvent::Move) writeBackGeometry();
  }
  return QWidget::eventFilter(o, e);
}

// ---------------------------------------------------------------------------------------------
// rte::view
// ---------------------------------------------------------------------------------------------

void Attach() {
  if (g_view) return;
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  g_view = new View;
  // Widgets must go while the application object still exists.
  qAddPostRoutine(&Detach);
}

bool Attached() { return g_view != nullptr; }

// Defined here, beside Attach, so that whoever links the view gets the dialogs with it.
PopupBackend* QtPopups() { return MakeQtPopups(); }

void FlushNow() {
  if (g_view) g_view->flush();
}

namespace {
QPixmap Render(int panel, int* err) {
  *err = 0;
  if (!model::Model::get().panel(panel)) {
    *err = RTE_ERR_BAD_PANEL;
    return {};
  }
  if (!g_view) {
    *err = RTE_ERR_BAD_PANEL;
    return {};
  }
  QWidget* w = g_view->renderTarget(panel);
  if (!w) {
    *err = RTE_ERR_BAD_PANEL;
    return {};
  }
  // A panel never shown has no laid-out children yet.
  w->ensurePolished();
  if (w->layout()) w->layout()->activate();
  return w->grab();
}
}  // namespace

int GrabPanel(int panel, const std::string& pngPath) {
  int err = 0;
  QPixmap pm = Render(panel, &err);
  if (err) return err;
  if (pm.isNull()) return RTE_ERR_FILE;
  return pm.save(QString::fromStdString(pngPath), "PNG") ? 0 : RTE_ERR_FILE;
}

int Print(int panel, const char* fileName) {
  int err = 0;
  QPixmap pm = Render(panel, &err);
  if (err) return err;
  if (pm.isNull()) return RTE_ERR_FILE;
  QPrinter printer(QPrinter::HighResolution);
  if (fileName && *fileName) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromLocal8Bit(fileName));
  } else {
    QPrinterInfo def = QPrinterInfo::defaultPrinter();
    if (def.isNull()) return RTE_ERR_FILE;  // no printer on this machine
    printer.setPrinterName(def.printerName());
  }
  if (const model::Panel* p = model::Model::get().panel(panel))
    printer.setDocName(QString::fromStdString(p->title));
  printer.setPageOrientation(pm.width() > pm.height() ? QPageLayout::Landscape
                                                      : QPageLayout::Portrait);
  QPainter painter;
  if (!painter.begin(&printer)) return RTE_ERR_FILE;
  // Scaled to the page, keeping the panel's proportions.
  QRectF page = printer.pageRect(QPrinter::DevicePixel);
  QSizeF target = QSizeF(pm.size()).scaled(page.size(), Qt::KeepAspectRatio);
  QRectF dst(QPointF(0, 0), target);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(dst, pm, QRectF(pm.rect()));
  return painter.end() ? 0 : RTE_ERR_FILE;
}

}  // namespace rte::view
