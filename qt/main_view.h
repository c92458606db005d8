// The main window on screen: one widget per control of Form_Principal at its
// place, kept in step with the model both ways.  All behaviour stays in the
// model; this only draws and forwards.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/form_principal.h"
#include "qt/control_widgets.h"
#include "qt/model_window.h"

namespace velmira::qt {

class NotesView;

class MainView : public ModelWindow {
 public:
  explicit MainView(Form_Principal& form);
  ~MainView() override;

  QWidget* widgetFor(const Control& control) const;
  QWidget* widgetFor(const std::string& name) const;
  template <class W>
  W* widget(const std::string& name) const { return dynamic_cast<W*>(widgetFor(name)); }
  NotesView& notesView() const { return *notes_; }

 protected:
  void unload() override;
  void outerSizeChanged(QSize outer) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void add(Control& control, QWidget* widget, Synced* synced);
  QWidget* make(Control& control);
  void applyTabOrder();
  void windowChanged();
  // Shows a control's change: at once, or during a move or run at most once
  // per screen refresh.
  void refreshSoon(Synced* synced);
  void refreshPending();
  // At the start of a wait: the changes that fall due within `leftNs` show,
  // and what is to be painted is painted now.
  void paintDue(int64_t leftNs);

  Form_Principal& form_;
  std::map<const Control*, QWidget*> widgets_;
  std::map<const Control*, Synced*> synced_;
  std::map<const QObject*, Control*> controlOf_;
  std::unique_ptr<NotesView> notes_;
  static constexpr qint64 kFrameMs = 16;  // one refresh of a 60 Hz screen
  std::vector<Synced*> pending_;
  QTimer refreshTimer_;
  QElapsedTimer lastRefresh_;
};

}  // namespace velmira::qt
