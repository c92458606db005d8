// The main window on screen: one widget per control of Form_Principal at its
// place, kept in step with the model both ways.  All behaviour stays in the
// model; this only draws and forwards.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "app/form_principal.h"
#include "qt/control_widgets.h"

namespace velmira::qt {

class NotesView;

class MainView : public QWidget {
 public:
  explicit MainView(Form_Principal& form);
  ~MainView() override;

  QWidget* widgetFor(const Control& control) const;
  QWidget* widgetFor(const std::string& name) const;
  template <class W>
  W* widget(const std::string& name) const { return dynamic_cast<W*>(widgetFor(name)); }
  NotesView& notesView() const { return *notes_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void add(Control& control, QWidget* widget, Synced* synced);
  QWidget* make(Control& control);
  void applyTabOrder();
  void windowChanged();
  void reportOuterSize();

  Form_Principal& form_;
  std::map<const Control*, QWidget*> widgets_;
  std::map<const Control*, Synced*> synced_;
  std::map<const QObject*, Control*> controlOf_;
  std::unique_ptr<NotesView> notes_;
};

}  // namespace velmira::qt
