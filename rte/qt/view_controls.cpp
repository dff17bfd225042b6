// Widgets of the plain control types: numeric, string, text box, text message, LED, binary
// switch, command button, ring and list box. Graphs and strip charts are in view_charts.cpp.
//
// Every text shown here may come from telemetry, files or the network, so it is always set as
// plain text: a "<b>" in a packet is shown as the four characters it is.
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "rte/app.h"
#include "view.h"

namespace rte::view {

// ---------------------------------------------------------------------------------------------
// Texts and numbers
// ---------------------------------------------------------------------------------------------

namespace {
int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}
}  // namespace

StyledLabel ParseStyledLabel(const std::string& label) {
  StyledLabel out;
  std::size_t i = 0;
  // ESC, two letters, six hex digits; a prefix that does not fit is shown as it is.
  while (label.size() - i >= 9 && label[i] == '\033') {
    bool fg = label.compare(i + 1, 2, "fg") == 0, bg = label.compare(i + 1, 2, "bg") == 0;
    if (!fg && !bg) break;
    int rgb = 0;
    bool ok = true;
    for (int k = 0; k < 6; ++k) {
      int d = HexDigit(label[i + 3 + k]);
      if (d < 0) {
        ok = false;
        break;
      }
      rgb = rgb * 16 + d;
    }
    if (!ok) break;
    if (fg) {
      out.hasFg = true;
      out.fg = ToColor(rgb);
    } else {
      out.hasBg = true;
      out.bg = ToColor(rgb);
    }
    i += 9;
  }
  out.text = QString::fromStdString(label.substr(i));
  return out;
}

QString FormatNumeric(const model::Control& c) {
  return QString::fromStdString(model::NumericText(c));
}

bool ParseNumeric(const model::Control& c, const QString& text, double* value) {
  std::string s = text.trimmed().toStdString();
  if (s.empty()) return false;
  const char* p = s.c_str();
  char* end = nullptr;
  bool hexPrefix = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  if (c.format == VAL_HEX_FORMAT || hexPrefix) {
    long long n = std::strtoll(hexPrefix ? p + 2 : p, &end, 16);
    if (*end) return false;
    *value = static_cast<double>(n);
    return true;
  }
  double d = std::strtod(p, &end);
  if (*end || !std::isfinite(d)) return false;
  *value = c.dataType == VAL_INTEGER ? std::round(d) : d;
  return true;
}

int KeyCode(const QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VAL_ENTER_VKEY;
    case Qt::Key_Escape: return VAL_ESC_VKEY;
    case Qt::Key_Up: return VAL_UP_ARROW_VKEY;
    case Qt::Key_Down: return VAL_DOWN_ARROW_VKEY;
    case Qt::Key_Tab: return VAL_TAB_VKEY;
    case Qt::Key_Home: return VAL_HOME_VKEY;
    case Qt::Key_End: return VAL_END_VKEY;
    case Qt::Key_F12: return VAL_F12_VKEY;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// CtrlView: what every control has
// ---------------------------------------------------------------------------------------------

CtrlView::CtrlView(View* view, PanelWin* win, const model::Control& c)
    : QObject(win->canvas()), view_(view), win_(win), id_(c.id), type_(c.type) {
  frame_ = new QFrame(win->canvas());
  frame_->setAutoFillBackground(true);
  frame_->setAttribute(Qt::WA_TransparentForMouseEvents);
  frame_->hide();
  caption_ = new QLabel(win->canvas());
  caption_->setTextFormat(Qt::PlainText);
  caption_->setAttribute(Qt::WA_TransparentForMouseEvents);
  QFont f = caption_->font();
  f.setPointSizeF(f.pointSizeF() * 0.9);
  caption_->setFont(f);
}

CtrlView::~CtrlView() {
  // Widgets send events while they die (focus, hide); this object is no longer there to hear.
  for (const QPointer<QObject>& w : watched_)
    if (w) w->removeEventFilter(this);
  delete body_.data();
  delete caption_.data();
  delete frame_.data();
}

int CtrlView::panel() const { return win_->handle(); }

QWidget* CtrlView::focusWidget() const { return body_; }

void CtrlView::setBody(QWidget* w) {
  body_ = w;
  body_->setProperty("rtePanel", win_->handle());
  body_->setProperty("rteCtrl", id_);
  watch(body_);
}

void CtrlView::watch(QWidget* w) {
  w->installEventFilter(this);
  watched_.push_back(w);
  // Viewports of scroll areas get the mouse, the area itself the keys.
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
    area->viewport()->installEventFilter(this);
    watched_.push_back(area->viewport());
  }
}

QPoint CtrlView::canvasPos(QWidget* from, const QPoint& p) const {
  return from->mapTo(win_->canvas(), p);
}

int CtrlView::send(int event, int d1, int d2) {
  if (win_->dead()) return RTE_ERR_BAD_PANEL;
  return view_->send(win_->handle(), id_, event, d1, d2);
}

bool CtrlView::eventFilter(QObject* o, QEvent* e) {
  if (win_->dead()) return false;
  switch (e->type()) {
    case QEvent::KeyPress:
      if (o == body_) return onKey(static_cast<QKeyEvent*>(e));
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* me = static_cast<QMouseEvent*>(e);
      auto* from = qobject_cast<QWidget*>(o);
      if (!from) break;
      // A scroll area gets the clicks its viewport passed up: the viewport already told.
      if (from == body_ && qobject_cast<QAbstractScrollArea*>(body_)) break;
      QPoint pos = canvasPos(from, me->position().toPoint());
      // Positions are panel coordinates: vertical in eventData1, horizontal in eventData2.
      int event = 0;
      if (e->type() == QEvent::MouseButtonDblClick && me->button() == Qt::LeftButton)
        event = EVENT_LEFT_DOUBLE_CLICK;
      else if (e->type() == QEvent::MouseButtonPress && me->button() == Qt::LeftButton)
        event = EVENT_LEFT_CLICK;
      else if (e->type() == QEvent::MouseButtonPress && me->button() == Qt::RightButton)
        event = EVENT_RIGHT_CLICK;
      if (!event) break;
      onMouse(me, from, event);
      send(event, pos.y(), pos.x());
      afterMouse(me, from, event);
      break;
    }
    case QEvent::FocusIn:
      view_->userFocused(win_->handle(), id_);
      break;
    default:
      break;
  }
  return false;
}

void CtrlView::placeCaption(const QRect& r) {
  QSize hint = caption_->sizeHint();
  caption_->setGeometry(r.left(), std::max(0, r.top() - hint.height() - 1),
                        std::max(hint.width(), r.width()), hint.height());
}

void CtrlView::applyColors(const model::Control& c) {
  QPalette pal = body_->palette();
  QColor fg = ToColor(c.textColor), bg = ToColor(c.bgColor);
  pal.setColor(QPalette::Text, fg);
  pal.setColor(QPalette::WindowText, fg);
  pal.setColor(QPalette::ButtonText, fg);
  pal.setColor(QPalette::Base, bg);
  body_->setPalette(pal);
}

void CtrlView::update(const model::Panel& p, const model::Control& c, bool force) {
  if (!body_) return;
  if (!force && c.version == shown_) return;
  shown_ = c.version;
  applying_ = true;
  mode_ = c.mode;
  QRect r = win_->placeOf(c);
  if (force || r != rect_) {
    rect_ = r;
    body_->setGeometry(r);
    frame_->setGeometry(r.adjusted(-2, -2, 2, 2));
    placeCaption(r);
  }
  if (force || c.label != label_) {
    label_ = c.label;
    caption_->setText(QString::fromStdString(c.label));
    caption_->adjustSize();
    placeCaption(rect_);
  }
  if (force || c.textColor != textColor_ || c.bgColor != bgColor_) {
    textColor_ = c.textColor;
    bgColor_ = c.bgColor;
    applyColors(c);
  }
  bool showFrame = c.frameColor != p.bgColor;
  if (force || c.frameColor != frameColor_ || p.bgColor != panelBg_) {
    frameColor_ = c.frameColor;
    panelBg_ = p.bgColor;
    QPalette pal = frame_->palette();
    pal.setColor(QPalette::Window, ToColor(c.frameColor));
    frame_->setPalette(pal);
  }
  if (force || c.visible != visible_) {
    visible_ = c.visible;
    body_->setVisible(c.visible);
  }
  caption_->setVisible(c.visible && showCaption() && !c.label.empty());
  frame_->setVisible(c.visible && showFrame);
  if (force || c.dimmed != dimmed_) {
    dimmed_ = c.dimmed;
    body_->setEnabled(!c.dimmed);
  }
  applyValue(p, c);
  applying_ = false;
}

namespace {

// ---------------------------------------------------------------------------------------------
// Numeric and string: a line of text; Enter commits
// ---------------------------------------------------------------------------------------------

class EntryView : public CtrlView {
 public:
  EntryView(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    edit_ = new QLineEdit(w->canvas());
    if (c.type == CTRL_NUMERIC) edit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setBody(edit_);
    if (c.type == CTRL_STRING) {
      // What the user types is the control's value at once (a button's callback reads it).
      QObject::connect(edit_, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (applying_ || mode_ == VAL_INDICATOR) return;
        shownText_ = t;
        view_->setText(panel(), id_, t.toStdString());
      });
    }
  }

 protected:
  void applyValue(const model::Panel&, const model::Control& c) override {
    edit_->setReadOnly(c.mode == VAL_INDICATOR);
    if (c.type == CTRL_STRING) {
      int max = c.maxEntryLength > 0 ? c.maxEntryLength : 32767;
      if (edit_->maxLength() != max) edit_->setMaxLength(max);
    }
    QString t = c.type == CTRL_NUMERIC ? FormatNumeric(c) : QString::fromStdString(c.str);
    if (t != shownText_ || t != edit_->text()) {
      // Unchanged values leave what the user is typing alone.
      if (t != shownText_) edit_->setText(t);
      shownText_ = t;
    }
    // A message shown in the line: selected, and replaced by the first key the user types even
    // if a click put the cursor somewhere inside it meanwhile.
    replacePending_ = c.type == CTRL_STRING && c.textSelected && c.mode != VAL_INDICATOR;
    if (replacePending_) edit_->selectAll();
  }

  // The first key after a message: typing (or pasting, or deleting) replaces the whole text;
  // moving the cursor means the user edits the message, which is then left alone.
  void replaceMessageOnKey(QKeyEvent* e) {
    if (!replacePending_) return;
    switch (e->key()) {
      case Qt::Key_Shift: case Qt::Key_Control: case Qt::Key_Alt: case Qt::Key_Meta:
      case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_Tab: case Qt::Key_Escape:
        return;
      case Qt::Key_Backspace: case Qt::Key_Delete:
        break;
      default: {
        QString typed = e->text();
        bool printable = !typed.isEmpty() && typed.at(0).isPrint();
        if (!printable && !e->matches(QKeySequence::Paste)) {
          if (!e->matches(QKeySequence::Copy) && !e->matches(QKeySequence::SelectAll))
            replacePending_ = false;
          return;
        }
      }
    }
    replacePending_ = false;
    edit_->selectAll();
  }

  bool onKey(QKeyEvent* e) override {
    if (mode_ != VAL_INDICATOR) replaceMessageOnKey(e);
    int code = KeyCode(e);
    if (!code || mode_ == VAL_INDICATOR) return false;
    int h = panel(), id = id_;
    if (code == VAL_ENTER_VKEY) {
      // The callback sees the key with the typed text already in the model, then the commit.
      if (type_ == CTRL_NUMERIC) {
        model::Control* c = model::Model::get().control(h, id);
        double v = 0;
        if (!c || !ParseNumeric(*c, edit_->text(), &v)) {
          if (c) edit_->setText(FormatNumeric(*c));  // not a number: the value stays
          return true;
        }
        view_->setNumber(h, id, v);
      } else {
        view_->setText(h, id, edit_->text().toStdString());
      }
      send(EVENT_KEYPRESS, code, 0);
      send(EVENT_COMMIT);
      return true;
    }
    send(EVENT_KEYPRESS, code, 0);
    if (code == VAL_ESC_VKEY && type_ == CTRL_NUMERIC) edit_->setText(shownText_);
    return false;  // the widget still moves the cursor, tabs on, ...
  }

 private:
  QLineEdit* edit_;
  QString shownText_ = QStringLiteral("\x01");  // never a real value: the first update sets it
  bool replacePending_ = false;  // the line shows a message that the next key typed replaces
};

// ---------------------------------------------------------------------------------------------
// Text box: lines, appended incrementally
// ---------------------------------------------------------------------------------------------

class TextBoxView : public CtrlView {
 public:
  TextBoxView(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    edit_ = new QPlainTextEdit(w->canvas());
    edit_->setReadOnly(true);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit_->setUndoRedoEnabled(false);
    edit_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont f("Monospace");
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSizeF(edit_->font().pointSizeF() * 0.9);
    edit_->setFont(f);
    setBody(edit_);
  }

 protected:
  void applyColors(const model::Control& c) override {
    CtrlView::applyColors(c);
    edit_->viewport()->setPalette(edit_->palette());
  }

  void applyValue(const model::Panel&, const model::Control& c) override {
    const auto& lines = c.lines;
    QScrollBar* sb = edit_->verticalScrollBar();
    bool atEnd = sb->value() >= sb->maximum() - 2;
    std::size_t k = 0;
    if (FrontTrimAndAppend(lines, &k)) {
      if (k > 0) RemoveFirstBlocks(k);
      std::size_t keep = shown_lines_.size() - k;
      QString add;
      // Appending text to a box continues its last line; what follows a line feed starts new ones.
      if (keep > 0) add = QString::fromStdString(lines[keep - 1].substr(shown_lines_.back().size()));
      for (std::size_t i = keep; i < lines.size(); ++i) {
        if (i > 0) add += QLatin1Char('\n');
        add += QString::fromStdString(lines[i]);
      }
      if (!add.isEmpty()) {
        QTextCursor cur(edit_->document());
        cur.movePosition(QTextCursor::End);
        cur.insertText(add);
      }
    } else {
      QString all;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) all += QLatin1Char('\n');
        all += QString::fromStdString(lines[i]);
      }
      edit_->setPlainText(all);
    }
    shown_lines_ = lines;
    if (c.firstVisibleLine != firstVisible_) {
      firstVisible_ = c.firstVisibleLine;
      sb->setValue(std::clamp(c.firstVisibleLine, 0, sb->maximum()));
    } else if (atEnd) {
      sb->setValue(sb->maximum());  // a log being read at its end follows new lines
    }
  }

 private:
  // True when the model's lines are what is shown minus k lines at the front, with the last
  // shown line possibly continued and lines added at the end (how a log grows and is trimmed).
  bool FrontTrimAndAppend(const std::vector<std::string>& lines, std::size_t* k) const {
    const auto& old = shown_lines_;
    if (old.empty()) {
      *k = 0;
      return true;
    }
    auto same = [&](std::size_t cand) {
      std::size_t keep = old.size() - cand;
      for (std::size_t i = 0; i + 1 < keep; ++i)
        if (old[cand + i] != lines[i]) return false;
      return lines[keep - 1].compare(0, old.back().size(), old.back()) == 0;
    };
    int tries = 0;
    for (std::size_t cand = 0; cand < old.size() && tries < 64; ++cand) {
      std::size_t keep = old.size() - cand;
      if (keep > lines.size()) continue;
      ++tries;
      if (same(cand)) {
        *k = cand;
        return true;
      }
    }
    return false;
  }

  void RemoveFirstBlocks(std::size_t k) {
    QTextDocument* doc = edit_->document();
    QTextCursor cur(doc);
    cur.movePosition(QTextCursor::Start);
    QTextBlock b = doc->findBlockByNumber(static_cast<int>(k));
    if (b.isValid()) {
      cur.setPosition(b.position(), QTextCursor::KeepAnchor);
    } else {
      cur.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cur.removeSelectedText();
  }

  QPlainTextEdit* edit_;
  std::vector<std::string> shown_lines_;
  int firstVisible_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Text message
// ---------------------------------------------------------------------------------------------

class TextMsgView : public CtrlView {
 public:
  TextMsgView(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    label_w_ = new QLabel(w->canvas());
    label_w_->setTextFormat(Qt::PlainText);
    label_w_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setBody(label_w_);
  }

 protected:
  void applyColors(const model::Control& c) override {
    QPalette pal = label_w_->palette();
    pal.setColor(QPalette::WindowText, ToColor(c.textColor));
    pal.setColor(QPalette::Window, ToColor(c.bgColor));
    label_w_->setPalette(pal);
    // A message sits on the panel unless it was given a background of its own.
    label_w_->setAutoFillBackground(c.bgColor != VAL_WHITE);
  }
  void applyValue(const model::Panel&, const model::Control& c) override {
    QString t = QString::fromStdString(c.str);
    if (t != label_w_->text()) label_w_->setText(t);
  }

 private:
  QLabel* label_w_;
};

// ---------------------------------------------------------------------------------------------
// LED: a round lamp, caption to its right
// ---------------------------------------------------------------------------------------------

class Lamp : public QWidget {
 public:
  explicit Lamp(QWidget* parent) : QWidget(parent) {}
  QColor color;
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    int d = std::min(width(), height()) - 2;
    QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    QRadialGradient g(r.center() - QPointF(d / 5.0, d / 5.0), d * 0.7);
    g.setColorAt(0, color.lighter(160));
    g.setColorAt(1, color);
    p.setBrush(g);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.drawEllipse(r);
  }
};

class LedView : public CtrlView {
 public:
  LedView(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    lamp_ = new Lamp(w->canvas());
    setBody(lamp_);
  }

 protected:
  void placeCaption(const QRect& r) override {
    QSize hint = caption_->sizeHint();
    caption_->setGeometry(r.right() + 5, r.center().y() - hint.height() / 2, hint.width(),
                          hint.height());
  }
  void applyColors(const model::Control&) override {}
  void applyValue(const model::Panel&, const model::Control& c) override {
    QColor col = ToColor(c.num != 0 ? c.onColor : c.offColor);
    if (col != lamp_->color) {
      lamp_->color = col;
      lamp_->update();
    }
  }

 private:
  Lamp* lamp_;
};

// ---------------------------------------------------------------------------------------------
// Binary switch and command button
// ---------------------------------------------------------------------------------------------

class SwitchView : public CtrlView {
 public:
  SwitchView(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    button_ = new QPushButton(w->canvas());
    button_->setCheckable(true);
    setBody(button_);
    QObject::connect(button_, &QPushButton::clicked, this, [this](bool on) {
      if (applying_) return;
      if (mode_ == VAL_INDICATOR) {
        button_->setChecked(!on);  // an indicator only shows
        return;
      }
      showState(on);
      view_->userSetValue(panel(), id_, on ? 1.0 : 0.0);
    });
  }

 protected:
  void applyValue(const model::Panel&, const model::Control& c) override {
    bool on = c.num != 0;
    if (button_->isChecked() != on) button_->setChecked(on);
    showState(on);
    QPalette pal = button_->palette();
    pal.setColor(QPalette::Button, on ? ToColor(c.onColor).lighter(170) : QColor(0xE0, 0xE0, 0xE0));
    button_->setPalette(pal);
  }

 private:
  void showState(bool on) { button_->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF")); }
  QPushButton* button_;
};

class ButtonView : public CtrlView {
 public:
  ButtonView(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    button_ = new QPushButton(w->canvas());
    button_->setAutoDefault(false);
    setBody(button_);
    QObject::connect(button_, &QPushButton::clicked, this, [this] {
      if (!applying_ && mode_ != VAL_INDICATOR) send(EVENT_COMMIT);
    });
  }

 protected:
  bool showCaption() const override { return false; }
  void applyValue(const model::Panel&, const model::Control& c) override {
    // The label is the button's face; '&' is a character here, not a mnemonic.
    QString t = QString::fromStdString(c.label).replace('&', "&&");
    if (button_->text() != t) button_->setText(t);
  }

 private:
  QPushButton* button_;
};

// ---------------------------------------------------------------------------------------------
// Ring and list box
// ---------------------------------------------------------------------------------------------

class RingView : public CtrlView {
 public:
  RingView(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    combo_ = new QComboBox(w->canvas());
    setBody(combo_);
    QObject::connect(combo_, &QComboBox::activated, this, [this](int i) {
      if (applying_) return;
      if (mode_ == VAL_INDICATOR) {
        combo_->setCurrentIndex(index_);
        return;
      }
      int h = panel(), id = id_;
      view_->setIndex(h, id, i);
      send(EVENT_COMMIT);
    });
  }

 protected:
  void applyValue(const model::Panel&, const model::Control& c) override {
    bool same = static_cast<int>(c.items.size()) == combo_->count();
    for (int i = 0; same && i < combo_->count(); ++i)
      same = labels_[i] == c.items[i].label;
    if (!same) {
      combo_->clear();
      labels_.clear();
      for (const auto& it : c.items) {
        StyledLabel s = ParseStyledLabel(it.label);
        combo_->addItem(s.text);
        if (s.hasFg) combo_->setItemData(combo_->count() - 1, s.fg, Qt::ForegroundRole);
        labels_.push_back(it.label);
      }
    }
    index_ = c.index;
    if (combo_->currentIndex() != c.index) combo_->setCurrentIndex(c.index);
  }

 private:
  QComboBox* combo_;
  std::vector<std::string> labels_;
  int index_ = -1;
};

class ListView : public CtrlView {
 public:
  ListView(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    list_ = new QListWidget(w->canvas());
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    QFont f = list_->font();
    f.setPointSizeF(f.pointSizeF() * 0.9);
    list_->setFont(f);
    setBody(list_);
    QObject::connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
      if (applying_ || row < 0) return;
      if (mode_ == VAL_INDICATOR) return;
      int now = -1;
      if (GetCtrlIndex(panel(), id_, &now) == 0 && now == row) {
        // Told already; a first line that was only current by default is now picked.
        const model::Control* c = model::Model::get().control(panel(), id_);
        if (c && !c->picked) view_->setIndex(panel(), id_, row);
        return;
      }
      view_->setIndex(panel(), id_, row);
      send(EVENT_VAL_CHANGED);
    });
    QObject::connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
      if (applying_) return;
      int row = list_->row(item);
      if (row < 0 || row >= static_cast<int>(rows_.size())) return;
      bool on = item->checkState() == Qt::Checked;
      if (on == rows_[row].checked) return;
      if (mode_ == VAL_INDICATOR) {
        applying_ = true;
        item->setCheckState(rows_[row].checked ? Qt::Checked : Qt::Unchecked);
        applying_ = false;
        return;
      }
      rows_[row].checked = on;
      view_->checkItem(panel(), id_, row, on);
      send(EVENT_COMMIT);
    });
  }

 protected:
  void applyColors(const model::Control& c) override {
    CtrlView::applyColors(c);
    list_->viewport()->setPalette(list_->palette());
  }

  void onMouse(QMouseEvent* e, QWidget* from, int event) override {
    // A right or double click picks the line under the mouse first, so the callback (and the
    // commit after a double click) knows which one was meant.
    if ((event != EVENT_RIGHT_CLICK && event != EVENT_LEFT_DOUBLE_CLICK) || from != list_->viewport())
      return;
    QListWidgetItem* it = list_->itemAt(e->position().toPoint());
    if (!it) return;
    int row = list_->row(it);
    view_->setIndex(panel(), id_, row);
  }
  void afterMouse(QMouseEvent* e, QWidget* from, int event) override {
    // Double click (like Enter) commits the line; a single click only moves the selection.
    if (event == EVENT_LEFT_DOUBLE_CLICK && mode_ != VAL_INDICATOR && list_->itemAt(e->position().toPoint()))
      send(EVENT_COMMIT);
  }
  bool onKey(QKeyEvent* e) override {
    int code = KeyCode(e);
    if (!code) return false;
    send(EVENT_KEYPRESS, code, 0);
    if (code == VAL_ENTER_VKEY) {
      if (mode_ != VAL_INDICATOR) send(EVENT_COMMIT);
      return true;
    }
    return false;
  }

  void applyValue(const model::Panel&, const model::Control& c) override {
    // Check boxes belong to lists that use them: hot lists, and any list once a line of it has
    // been checked. A plain log shows its lines without a box in front of each.
    bool anyChecked = false;
    for (const auto& it : c.items) anyChecked = anyChecked || it.checked;
    usesChecks_ = usesChecks_ || anyChecked || c.mode == VAL_HOT;
    int checkable = !usesChecks_ ? 0 : c.mode == VAL_INDICATOR ? 1 : 2;
    if (checkable != checkable_) {
      checkable_ = checkable;
      list_->clear();
      rows_.clear();
    }
    Sync(c.items);
    if (c.firstVisibleLine != firstVisible_) {
      firstVisible_ = c.firstVisibleLine;
      if (QListWidgetItem* it = list_->item(c.firstVisibleLine))
        list_->scrollToItem(it, QAbstractItemView::PositionAtTop);
    }
    const int shown = c.picked ? c.index : -1;
    if (shown != index_ || list_->currentRow() != shown) {
      index_ = shown;
      if (shown >= 0 && shown < list_->count()) {
        list_->setCurrentRow(shown);
        list_->scrollToItem(list_->item(shown));
      } else {
        list_->setCurrentRow(-1);
      }
    }
  }

 private:
  struct Shown {
    std::string label;
    bool checked;
    bool operator==(const model::ListItem& o) const { return label == o.label && checked == o.checked; }
  };

  QListWidgetItem* MakeItem(const model::ListItem& it) {
    StyledLabel s = ParseStyledLabel(it.label);
    auto* item = new QListWidgetItem(s.text);
    if (s.hasFg) item->setForeground(s.fg);
    if (s.hasBg) item->setBackground(s.bg);
    if (checkable_ > 0) item->setCheckState(it.checked ? Qt::Checked : Qt::Unchecked);
    if (checkable_ == 2)
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    else
      item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    return item;
  }

  // Rows that stayed stay; only the changed middle is replaced. A log that grows at the end and
  // is trimmed at the front costs a few rows per repaint, not the whole list.
  void Sync(const std::vector<model::ListItem>& items) {
    std::size_t n = rows_.size(), m = items.size();
    std::size_t trim = 0;
    bool trimAppend = false;
    for (std::size_t cand = 0, tries = 0; cand < n && tries < 64; ++cand) {
      std::size_t keep = n - cand;
      if (keep > m || !(rows_[cand] == items[0])) continue;
      ++tries;
      bool ok = true;
      for (std::size_t i = 0; ok && i < keep; ++i) ok = rows_[cand + i] == items[i];
      if (ok) {
        trim = cand;
        trimAppend = true;
        break;
      }
    }
    if (trimAppend && trim > 0) {
      for (std::size_t i = 0; i < trim; ++i) delete list_->takeItem(0);
      rows_.erase(rows_.begin(), rows_.begin() + static_cast<long>(trim));
      n = rows_.size();
    }
    std::size_t pre = 0;
    while (pre < n && pre < m && rows_[pre] == items[pre]) ++pre;
    std::size_t suf = 0;
    while (suf < n - pre && suf < m - pre && rows_[n - 1 - suf] == items[m - 1 - suf]) ++suf;
    std::size_t del = n - pre - suf, ins = m - pre - suf;
    if (del == 0 && ins == 0) return;
    bool bulk = del > 200 || ins > 200;
    if (bulk) list_->setUpdatesEnabled(false);
    for (std::size_t i = 0; i < del; ++i) delete list_->takeItem(static_cast<int>(pre));
    for (std::size_t i = 0; i < ins; ++i)
      list_->insertItem(static_cast<int>(pre + i), MakeItem(items[pre + i]));
    if (bulk) list_->setUpdatesEnabled(true);
    rows_.erase(rows_.begin() + static_cast<long>(pre), rows_.begin() + static_cast<long>(pre + del));
    std::vector<Shown> add;
    for (std::size_t i = 0; i < ins; ++i) add.push_back({items[pre + i].label, items[pre + i].checked});
    rows_.insert(rows_.begin() + static_cast<long>(pre), add.begin(), add.end());
  }

  QListWidget* list_;
  std::vector<Shown> rows_;
  int checkable_ = -1;  // 0 no boxes, 1 boxes shown, 2 boxes the user may tick
  bool usesChecks_ = false;
  int index_ = -2;
  int firstVisible_ = 0;
};

}  // namespace

CtrlView* MakeCtrlView(View* view, PanelWin* win, const model::Control& c) {
  switch (c.type) {
    case CTRL_NUMERIC:
    case CTRL_STRING: return new EntryView(view, win, c);
    case CTRL_TEXT_BOX: return new TextBoxView(view, win, c);
    case CTRL_TEXT_MSG: return new TextMsgView(view, win, c);
    case CTRL_LED: return new LedView(view, win, c);
    case CTRL_BINARY_SWITCH: return new SwitchView(view, win, c);
    case CTRL_COMMAND_BUTTON: return new ButtonView(view, win, c);
    case CTRL_RING: return new RingView(view, win, c);
    case CTRL_LIST_BOX: return new ListView(view, win, c);
    case CTRL_GRAPH: return MakeGraphView(view, win, c);
    case CTRL_STRIP_CHART: return MakeStripView(view, win, c);
    case CTRL_TIMER: return nullptr;  // ticks in the loop, shows nothing
  }
  return nullptr;
}

}  // namespace rte::view
