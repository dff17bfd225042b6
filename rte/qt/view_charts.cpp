// Graphs and strip charts on Qt Charts.
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QValueAxis>

#include <cmath>
#include <limits>

#include "rte/app.h"
#include "view.h"

namespace rte::view {
namespace {

QChartView* NewChartView(QWidget* parent) {
  auto* chart = new QChart;
  chart->setBackgroundRoundness(0);
  chart->setMargins(QMargins(2, 2, 2, 2));
  chart->legend()->hide();
  chart->setAnimationOptions(QChart::NoAnimation);
  auto* cv = new QChartView(chart, parent);
  cv->setRenderHint(QPainter::Antialiasing, false);
  cv->setFrameShape(QFrame::StyledPanel);
  return cv;
}

QFont SmallFont(const QFont& base) {
  QFont f = base;
  f.setPointSizeF(std::max(6.0, base.pointSizeF() * 0.8));
  return f;
}

// Range of an axis: fixed by the program, or around the data (with a margin so lines do not sit
// on the frame).
void AxisRange(const model::Axis& a, double lo, double hi, double* min, double* max) {
  if (a.mode != VAL_AUTOSCALE && a.max > a.min) {
    *min = a.min;
    *max = a.max;
    if (a.scale == VAL_LOG_SCALE && *min <= 0) *min = *max > 1 ? *max / 1e6 : 1e-6;
    return;
  }
  if (!(lo <= hi)) {  // no data
    lo = a.scale == VAL_LOG_SCALE ? 1 : 0;
    hi = 10;
  }
  if (a.scale == VAL_LOG_SCALE) {
    *min = lo / 2;
    *max = hi * 2;
    return;
  }
  if (lo == hi) {
    lo -= 1;
    hi += 1;
  }
  double pad = (hi - lo) * 0.05;
  *min = lo - pad;
  *max = hi + pad;
}

// Axis of the kind the model asks for: labelled items, logarithmic or linear. Returns a new axis
// when the kind changed (the caller swaps it in), else sets up the one given. An autoscaled
// linear axis gets round tick values.
QAbstractAxis* MakeAxis(QAbstractAxis* have, const model::Axis& a, double min, double max,
                        const QFont& font) {
  QAbstractAxis* axis = have;
  if (!a.items.empty()) {
    auto* cat = qobject_cast<QCategoryAxis*>(have);
    if (!cat) cat = new QCategoryAxis;
    for (const QString& l : cat->categoriesLabels()) cat->remove(l);
    cat->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    cat->setStartValue(min);
    // Category labels must be unique; the same text twice gets an invisible difference.
    QStringList used;
    std::vector<model::AxisItem> items = a.items;
    std::stable_sort(items.begin(), items.end(),
                     [](const model::AxisItem& x, const model::AxisItem& y) { return x.value < y.value; });
    for (const auto& it : items) {
      QString l = QString::fromStdString(it.label);
      while (used.contains(l)) l += QChar(0x200B);
      used << l;
      cat->append(l, it.value);
    }
    axis = cat;
  } else if (a.scale == VAL_LOG_SCALE) {
    auto* lg = qobject_cast<QLogValueAxis*>(have);
    if (!lg) lg = new QLogValueAxis;
    lg->setBase(10);
    lg->setLabelFormat("%g");
    axis = lg;
  } else {
    auto* v = qobject_cast<QValueAxis*>(have);
    if (!v || qobject_cast<QCategoryAxis*>(have)) v = new QValueAxis;
    v->setLabelFormat("%g");
    axis = v;
  }
  axis->setRange(min, max);
  if (auto* v = qobject_cast<QValueAxis*>(axis); v && !qobject_cast<QCategoryAxis*>(axis)) {
    v->setTickCount(5);
    if (a.mode == VAL_AUTOSCALE) v->applyNiceNumbers();
  }
  axis->setLabelsFont(font);
  axis->setTitleText(QString::fromStdString(a.name));
  axis->setTitleFont(font);
  return axis;
}

class ChartBase : public CtrlView {
 public:
  ChartBase(View* v, PanelWin* w, const model::Control& c) : CtrlView(v, w, c) {
    cv_ = NewChartView(w->canvas());
    chart_ = cv_->chart();
    setBody(cv_);
  }

 protected:
  void applyColors(const model::Control& c) override {
    chart_->setBackgroundBrush(ToColor(c.bgColor));
    chart_->setPlotAreaBackgroundVisible(false);
  }

  // Replaces an axis of the chart, moving every series over to the new one.
  void SwapAxis(QAbstractAxis** slot, QAbstractAxis* now, Qt::Alignment align) {
    if (now == *slot) return;
    // Old points may not fit the new kind of axis (zero on a log axis); they are set again after.
    for (QAbstractSeries* s : chart_->series()) static_cast<QXYSeries*>(s)->clear();
    if (*slot) {
      chart_->removeAxis(*slot);
      delete *slot;
    }
    *slot = now;
    chart_->addAxis(now, align);
    for (QAbstractSeries* s : chart_->series()) s->attachAxis(now);
  }
  void Attach(QAbstractSeries* s) {
    chart_->addSeries(s);
    if (x_) s->attachAxis(x_);
    if (y_) s->attachAxis(y_);
    for (QLegendMarker* m : chart_->legend()->markers(s)) m->setVisible(!s->name().isEmpty());
  }

  QChartView* cv_;
  QChart* chart_;
  QAbstractAxis* x_ = nullptr;
  QAbstractAxis* y_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Graph: plots of x/y data, a cursor the user sets by clicking
// ---------------------------------------------------------------------------------------------

class GraphView : public ChartBase {
 public:
  GraphView(View* v, PanelWin* w, const model::Control& c) : ChartBase(v, w, c) {
    cursorH_ = new QLineSeries;
    cursorV_ = new QLineSeries;
    for (QLineSeries* s : {cursorH_, cursorV_}) {
      QPen pen(QColor(0xFF, 0xA0, 0x00));
      pen.setStyle(Qt::DashLine);
      s->setPen(pen);
    }
  }

 protected:
  void onMouse(QMouseEvent* e, QWidget* from, int event) override {
    // The click goes to the callback first (below), then the cursor moves and commits.
  }
  void afterMouse(QMouseEvent* e, QWidget* from, int event) override {
    if (event != EVENT_LEFT_CLICK || mode_ == VAL_INDICATOR || from != cv_->viewport()) return;
    QPointF scene = cv_->mapToScene(e->position().toPoint());
    QPointF inChart = chart_->mapFromScene(scene);
    if (!chart_->plotArea().contains(inChart)) return;
    QPointF val = chart_->mapToValue(inChart, cursorH_);
    view_->setCursor(panel(), id_, val.x(), val.y());
    send(EVENT_COMMIT);
  }

  void applyValue(const model::Panel&, const model::Control& c) override {
    bool logX = c.xaxis.scale == VAL_LOG_SCALE && c.xaxis.items.empty();
    bool logY = c.yaxis.scale == VAL_LOG_SCALE && c.yaxis.items.empty();
    // Data extent (log axes cannot show zero or below: such points are left out).
    double inf = std::numeric_limits<double>::infinity();
    double xlo = inf, xhi = -inf, ylo = inf, yhi = -inf;
    std::vector<QList<QPointF>> pts(c.plots.size());
    for (std::size_t k = 0; k < c.plots.size(); ++k) {
      const model::Plot& p = c.plots[k];
      std::size_t n = p.y.size();
      if (!p.x.empty()) n = std::min(n, p.x.size());
      QList<QPointF>& out = pts[k];
      out.reserve(static_cast<qsizetype>(p.style == VAL_VERTICAL_BAR ? 3 * n : n));
      for (std::size_t i = 0; i < n; ++i) {
        double x = p.x.empty() ? static_cast<double>(i) : p.x[i], y = p.y[i];
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        if ((logX && x <= 0) || (logY && y <= 0)) continue;
        if (p.style == VAL_VERTICAL_BAR) {
          double base = logY ? (y < 1 ? y : 1) : 0;
          out << QPointF(x, base) << QPointF(x, y) << QPointF(x, base);
        } else {
          out << QPointF(x, y);
        }
        if (p.visible) {
          xlo = std::min(xlo, x);
          xhi = std::max(xhi, x);
          ylo = std::min(ylo, y);
          yhi = std::max(yhi, y);
        }
      }
    }
    double x0, x1, y0, y1;
    AxisRange(c.xaxis, xlo, xhi, &x0, &x1);
    AxisRange(c.yaxis, ylo, yhi, &y0, &y1);
    QFont f = SmallFont(cv_->font());
    SwapAxis(&x_, MakeAxis(x_, c.xaxis, x0, x1, f), Qt::AlignBottom);
    SwapAxis(&y_, MakeAxis(y_, c.yaxis, y0, y1, f), Qt::AlignLeft);

    // Series by plot handle; a plot whose style changed gets a new series of the right kind.
    std::map<int, QXYSeries*> keep;
    bool legend = false;
    for (std::size_t k = 0; k < c.plots.size(); ++k) {
      const model::Plot& p = c.plots[k];
      auto it = series_.find(p.handle);
      QXYSeries* s = it == series_.end() ? nullptr : it->second.series;
      if (s && it->second.style != p.style) {
        chart_->removeSeries(s);
        delete s;
        s = nullptr;
      }
      bool fresh = !s;
      if (fresh) {
        if (p.style == VAL_SCATTER) {
          auto* sc = new QScatterSeries;
          sc->setMarkerSize(6);
          sc->setBorderColor(Qt::transparent);
          s = sc;
        } else {
          auto* ln = new QLineSeries;
          if (p.style == VAL_CONNECTED_POINTS) ln->setPointsVisible(true);
          s = ln;
        }
      }
      s->setName(QString::fromStdString(p.legend));
      s->setColor(ToColor(p.color));
      s->replace(pts[k]);
      s->setVisible(p.visible);
      if (fresh) Attach(s);
      legend = legend || !p.legend.empty();
      keep[p.handle] = s;
      series_[p.handle] = {s, p.style};
    }
    for (auto it = series_.begin(); it != series_.end();) {
      if (!keep.count(it->first)) {
        chart_->removeSeries(it->second.series);
        delete it->second.series;
        it = series_.erase(it);
      } else {
        ++it;
      }
    }
    // The cursor: a cross-hair over the plot area at the model's cursor position.
    if (!cursorAttached_) {
      Attach(cursorH_);
      Attach(cursorV_);
      cursorAttached_ = true;
    }
    double cx = c.cursorX, cy = c.cursorY;
    bool inside = cx >= x0 && cx <= x1 && cy >= y0 && cy <= y1;
    if (inside) {
      cursorH_->replace(QList<QPointF>{{x0, cy}, {x1, cy}});
      cursorV_->replace(QList<QPointF>{{cx, y0}, {cx, y1}});
    } else {
      cursorH_->clear();
      cursorV_->clear();
    }
    cursorH_->setVisible(inside && c.mode != VAL_INDICATOR);
    cursorV_->setVisible(inside && c.mode != VAL_INDICATOR);
    for (QLegendMarker* m : chart_->legend()->markers(cursorH_)) m->setVisible(false);
    for (QLegendMarker* m : chart_->legend()->markers(cursorV_)) m->setVisible(false);
    chart_->legend()->setVisible(legend);
    if (legend) chart_->legend()->setFont(SmallFont(cv_->font()));
  }

 private:
  struct Entry {
    QXYSeries* series;
    int style;
  };
  std::map<int, Entry> series_;
  QLineSeries* cursorH_;
  QLineSeries* cursorV_;
  bool cursorAttached_ = false;
};

// ---------------------------------------------------------------------------------------------
// Strip chart: the last points-per-screen points of every trace
// ---------------------------------------------------------------------------------------------

class StripView : public ChartBase {
 public:
  StripView(View* v, PanelWin* w, const model::Control& c) : ChartBase(v, w, c) {}

 protected:
  void applyValue(const model::Panel&, const model::Control& c) override {
    double inf = std::numeric_limits<double>::infinity();
    double lo = inf, hi = -inf;
    for (const auto& t : c.traces)
      if (t.visible)
        for (double v : t.points)
          if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
          }
    QFont f = SmallFont(cv_->font());
    model::Axis xa = c.xaxis;
    xa.mode = VAL_MANUAL;
    xa.scale = VAL_LINEAR_SCALE;
    xa.min = 0;
    xa.max = std::max(1, c.pointsPerScreen - 1);
    xa.items.clear();
    SwapAxis(&x_, MakeAxis(x_, xa, xa.min, xa.max, f), Qt::AlignBottom);
    double y0, y1;
    model::Axis ya = c.yaxis;
    ya.items.clear();
    ya.scale = VAL_LINEAR_SCALE;
    AxisRange(ya, lo, hi, &y0, &y1);
    SwapAxis(&y_, MakeAxis(y_, ya, y0, y1, f), Qt::AlignLeft);
    if (auto* vx = qobject_cast<QValueAxis*>(x_)) vx->setLabelsVisible(false);

    while (series_.size() < c.traces.size()) {
      auto* s = new QLineSeries;
      series_.push_back(s);
      Attach(s);
    }
    while (series_.size() > c.traces.size()) {
      chart_->removeSeries(series_.back());
      delete series_.back();
      series_.pop_back();
    }
    bool legend = false;
    for (std::size_t k = 0; k < c.traces.size(); ++k) {
      const model::StripTrace& t = c.traces[k];
      QLineSeries* s = series_[k];
      // The newest point sits at the right edge once the screen is full.
      std::size_t n = t.points.size(), pps = static_cast<std::size_t>(std::max(1, c.pointsPerScreen));
      std::size_t first = n > pps ? n - pps : 0;
      QList<QPointF> pts;
      pts.reserve(static_cast<qsizetype>(n - first));
      for (std::size_t i = first; i < n; ++i)
        if (std::isfinite(t.points[i])) pts << QPointF(static_cast<double>(i - first), t.points[i]);
      s->replace(pts);
      s->setColor(ToColor(t.color));
      s->setVisible(t.visible);
      s->setName(QString::fromStdString(t.legend));
      for (QLegendMarker* m : chart_->legend()->markers(s)) m->setVisible(!t.legend.empty());
      legend = legend || !t.legend.empty();
    }
    chart_->legend()->setVisible(legend);
  }

 private:
  std::vector<QLineSeries*> series_;
};

}  // namespace

CtrlView* MakeGraphView(View* view, PanelWin* win, const model::Control& c) {
  return new GraphView(view, win, c);
}
CtrlView* MakeStripView(View* view, PanelWin* win, const model::Control& c) {
  return new StripView(view, win, c);
}

}  // namespace rte::view
