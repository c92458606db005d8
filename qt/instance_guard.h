// A second start of the program finds the first one through a local socket
// of this user: the first instance listens; a later one connects, asks it to
// come forward and ends.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>
#include <memory>

#include "platform/platform.h"

namespace velmira::qt {

class QtInstanceGuard : public platform::InstanceGuard {
 public:
  // The default name lies in this user's runtime directory (or carries the
  // user id), so another user's program is never taken for this one.
  explicit QtInstanceGuard(QString serverName = defaultServerName());
  ~QtInstanceGuard() override;
  static QString defaultServerName();

  // True when an earlier instance answers; otherwise this one starts
  // listening for later ones.
  bool otherInstanceRunning() override;
  // Asks the earlier instance to bring forward its window with this title.
  bool activate(const std::string& title) override;
  // Stops listening (before the process ends).
  void close();

  // What the listening instance does with a request; by default it raises
  // and activates its top-level window whose title is `title` or, failing
  // that, begins with it.
  std::function<void(const QString& title)> onActivate;
  static bool raiseWindowTitled(const QString& title);

 private:
  void listen();
  void serve();
  QString name_;
  std::unique_ptr<QLocalServer> server_;
  std::unique_ptr<class QLocalSocket> peer_;
};

}  // namespace velmira::qt
