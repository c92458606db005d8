#include "qt/main_view.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

#include "notes/f_notas.h"
#include "qt/field_edit.h"
#include "qt/handler_call.h"
#include "qt/look.h"
#include "qt/notes_view.h"
#include "qt/qt_platform.h"
#include "qt/qt_platform.h"
#include "qt/window_frame.h"

namespace velmira::qt {
namespace {

// Stacking: the picture at the bottom, then the framing lines, then the
// captions and the indicator, and the controls that take input on top.
int layer(Kind k) {
  switch (k) {
    case Kind::Image: return 0;
    case Kind::Line: return 1;
    case Kind::Label: case Kind::Shape: return 2;
    default: return 3;
  }
}

}  // namespace

MainView::MainView(Form_Principal& form) : ModelWindow(form.plataforma().clock), form_(form) {
  setObjectName(QStringLiteral("Form_Principal"));
  setFixedSize(px(Form_Principal::kClientWidth), px(Form_Principal::kClientHeight));
  build();
  applyTabOrder();
  notes_ = std::make_unique<NotesView>(form_.notas(), &form_);
  form_.onControlChanged = [this](Control& c) {
    auto it = synced_.find(&c);
    if (it != synced_.end()) refreshSoon(it->second);
  };
  form_.onRunEnded = [this] { refreshPending(); };
  refreshTimer_.setSingleShot(true);
  if (auto* clock = dynamic_cast<QtClock*>(&form.plataforma().clock))
    clock->setPainter([this](int64_t leftNs) { paintDue(leftNs); });
  connect(&refreshTimer_, &QTimer::timeout, this, [this] { refreshPending(); });
  form_.onFocusRequested = [this](Control& c) {
    if (QWidget* w = widgetFor(c)) w->setFocus(Qt::OtherFocusReason);
  };
  form_.onWindowChanged = [this] { windowChanged(); };
  // Until the window is on screen its frame is a guess (the load handler
  // centres the window by it).
  const QSize outer = withEstimatedFrame(size());
  form_.initOuterSize(twips(outer.width()), twips(outer.height()));
  form_.onProgramEnded = [] {
    for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
    QCoreApplication::exit(0);
  };
  windowChanged();
}

MainView::~MainView() {
  form_.onControlChanged = nullptr;
  form_.onFocusRequested = nullptr;
  form_.onWindowChanged = nullptr;
  form_.onRunEnded = nullptr;
  form_.onProgramEnded = nullptr;
  if (auto* clock = dynamic_cast<QtClock*>(&form_.plataforma().clock)) clock->setPainter(nullptr);
}

void MainView::build() {
  std::vector<Control*> order = form_.controls();
  std::stable_sort(order.begin(), order.end(),
                   [](const Control* a, const Control* b) { return layer(a->kind()) < layer(b->kind()); });
  for (Control* c : order) make(*c);
}

QWidget* MainView::make(Control& c) {
  auto put = [&](auto* w) {
    add(c, w, w);
    return w;
  };
  switch (c.kind()) {
    case Kind::TextBox: {
      auto& t = static_cast<TextBox&>(c);
      if (t.multiLine()) return put(new MessagesEdit(t, this));
      return put(new FieldEdit(t, form_, this));
    }
    case Kind::Label: return put(new ModelLabel(static_cast<Label&>(c), this));
    case Kind::CheckBox: return put(new ModelCheckBox(static_cast<CheckBox&>(c), &form_, this));
    case Kind::ComboBox: return put(new ModelCombo(static_cast<ComboBox&>(c), &form_, this));
    case Kind::ScrollBar: return put(new ModelScrollBar(static_cast<ScrollBar&>(c), &form_, this));
    case Kind::Button: return put(new CaptionButton(static_cast<Button&>(c), &form_, this));
    case Kind::Shape: return put(new LedShape(static_cast<Shape&>(c), this));
    case Kind::Image: return put(new Picture(static_cast<Image&>(c), this));
    case Kind::Line: return put(new FrameLine(static_cast<Line&>(c), this));
  }
  return nullptr;
}

void MainView::add(Control& c, QWidget* w, Synced* s) {
  w->setObjectName(qs(c.name()));
  widgets_[&c] = w;
  synced_[&c] = s;
  controlOf_[w] = &c;
  w->installEventFilter(this);
}

void MainView::applyTabOrder() {
  const std::vector<Control*>& order = form_.tabOrder();
  for (auto& [control, w] : widgets_)
    if (std::find(order.begin(), order.end(), control) == order.end()) w->setFocusPolicy(Qt::NoFocus);
  for (Control* c : order) widgetFor(*c)->setFocusPolicy(Qt::StrongFocus);
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(widgetFor(*order[i - 1]), widgetFor(*order[i]));
}

void MainView::refreshSoon(Synced* s) {
  // Outside a move or run every change shows at once.  A move at speed 1
  // changes the position a thousand times a second: the screen shows it at
  // its own pace, and the last state as soon as the move ends.
  if (!form_.En_Marcha) {
    refreshPending();
    s->refresh();
    return;
  }
  if (std::find(pending_.begin(), pending_.end(), s) == pending_.end()) pending_.push_back(s);
  if (refreshTimer_.isActive()) return;
  // The next wait that reaches the frame's time paints it at its start,
  // where it takes nothing from the step rate (paintDue); the timer, a
  // little later, is for a handler that does not wait.
  const qint64 since = lastRefresh_.isValid() ? lastRefresh_.elapsed() : kFrameMs;
  refreshTimer_.start(static_cast<int>(std::max<qint64>(1, kFrameMs - since) + kFrameMs / 4));
}

void MainView::paintDue(int64_t leftNs) {
  const int64_t sinceNs = lastRefresh_.isValid() ? lastRefresh_.nsecsElapsed() : kFrameMs * 1'000'000;
  if (!pending_.empty() && sinceNs + leftNs >= kFrameMs * 1'000'000) refreshPending();
  QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
}

void MainView::refreshPending() {
  refreshTimer_.stop();
  lastRefresh_.start();
  std::vector<Synced*> pending = std::move(pending_);
  pending_.clear();
  for (Synced* s : pending) s->refresh();
}

QWidget* MainView::widgetFor(const Control& c) const {
  auto it = widgets_.find(&c);
  return it == widgets_.end() ? nullptr : it->second;
}

QWidget* MainView::widgetFor(const std::string& name) const {
  Control* c = form_.control(name);
  return c ? widgetFor(*c) : nullptr;
}

void MainView::windowChanged() {
  setWindowTitle(qs(form_.caption()));
  if (form_.shown() && isHidden()) {
    // Centred by the real outer size, frame and title bar included.
    showPlacedByRealFrame(*this, [this](QSize outer) {
      form_.initOuterSize(twips(outer.width()), twips(outer.height()));
      form_.Centrar();
      return QPoint(px(form_.Left), px(form_.Top));
    });
    activateWindow();
    reportOuterSize();
  }
}

void MainView::outerSizeChanged(QSize outer) {
  runHandler(form_, [&] { form_.setOuterSize(twips(outer.width()), twips(outer.height())); });
}

bool MainView::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::FocusIn) {
    auto it = controlOf_.find(watched);
    if (it != controlOf_.end() && form_.focused() != it->second) {
      Control* c = it->second;
      runHandler(form_, [&] { form_.SetFocus(*c); });
    }
  }
  return ModelWindow::eventFilter(watched, e);
}

void MainView::unload() {
  runHandler(form_, [this] { form_.Form_Unload(); });
}

}  // namespace velmira::qt
