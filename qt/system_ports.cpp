#include "qt/system_ports.h"

#include <QSerialPortInfo>

namespace velmira::qt {
namespace {

std::string hex4(quint16 id) { return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toStdString(); }

}  // namespace

std::vector<platform::DeviceInfo> systemSerialPorts() {
  std::vector<platform::DeviceInfo> ports;
  for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts()) {
    platform::DeviceInfo d;
    d.path = p.systemLocation().toStdString();
    d.systemName = p.portName().toStdString();
    d.description = p.description().toStdString();
    d.manufacturer = p.manufacturer().toStdString();
    if (p.hasVendorIdentifier()) d.vendorId = hex4(p.vendorIdentifier());
    if (p.hasProductIdentifier()) d.productId = hex4(p.productIdentifier());
    d.serialNumber = p.serialNumber().toStdString();
    ports.push_back(std::move(d));
  }
  return ports;
}

}  // namespace velmira::qt
