#include "qt/instance_guard.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QWidget>

namespace velmira::qt {
namespace {

constexpr int kConnectMs = 1000;
const QByteArray kRequest = "activate ";

}  // namespace

QString QtInstanceGuard::defaultServerName() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
    return QString::fromLocal8Bit(runtime) + QStringLiteral("/velmira-instance");
  return QStringLiteral("velmira-instance-%1").arg(getuid());
}

QtInstanceGuard::QtInstanceGuard(QString serverName) : name_(std::move(serverName)) {
  onActivate = [](const QString& title) { raiseWindowTitled(title); };
}

QtInstanceGuard::~QtInstanceGuard() { close(); }

bool QtInstanceGuard::otherInstanceRunning() {
  peer_ = std::make_unique<QLocalSocket>();
  peer_->connectToServer(name_);
  if (peer_->waitForConnected(kConnectMs)) return true;
  peer_.reset();
  listen();
  return false;
}

bool QtInstanceGuard::activate(const std::string& title) {
  if (!peer_ || peer_->state() != QLocalSocket::ConnectedState) return false;
  peer_->write(kRequest + QByteArray::fromStdString(title) + '\n');
  const bool sent = peer_->waitForBytesWritten(kConnectMs);
  peer_->disconnectFromServer();
  peer_.reset();
  return sent;
}

void QtInstanceGuard::close() {
  if (server_) server_->close();
  server_.reset();
}

void QtInstanceGuard::listen() {
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // Nobody answered: a socket left by an instance that ended is stale.
  QLocalServer::removeServer(name_);
  if (!server_->listen(name_)) {
    server_.reset();  // this instance runs anyway, it just cannot be found
    return;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] { serve(); });
}

void QtInstanceGuard::serve() {
  while (QLocalSocket* s = server_->nextPendingConnection()) {
    QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    QObject::connect(s, &QLocalSocket::readyRead, s, [this, s] {
      while (s->canReadLine()) {
        const QByteArray line = s->readLine().trimmed();
        if (line.startsWith(kRequest.trimmed()) && onActivate)
          onActivate(QString::fromUtf8(line.mid(kRequest.size())));
      }
    });
  }
}

bool QtInstanceGuard::raiseWindowTitled(const QString& title) {
  QWidget* found = nullptr;
  const QWidgetList windows = QApplication::topLevelWidgets();
  for (QWidget* w : windows)
    if (w->isVisible() && w->windowTitle() == title) found = w;
  for (QWidget* w : windows)
    if (!found && w->isVisible() && w->windowTitle().startsWith(title)) found = w;
  if (!found) return false;
  if (found->isMinimized()) found->showNormal();
  found->raise();
  found->activateWindow();
  return true;
}

}  // namespace velmira::qt
