// sni_watcher: a notification-area host of our own on the session bus, as KDE Plasma, GNOME's
// AppIndicator extension and waybar are: it owns org.kde.StatusNotifierWatcher, takes the
// items that register, and answers the desktop tests' questions about them on stdin:
//
//   tip       the item's tip title        -> "tip TEXT"
//   icons     its pictures' sizes and the colour a quarter down the middle
//                                         -> "icons 16 32 #RRGGBB"
//   menu      its exported menu, a line an item, then "end PATH"
//                                         -> "menu ID ENABLED CHECKED PICTURE LABEL"
//   click ID  the host's click on a menu item  -> "clicked"
//   activate  the host's left click on the icon -> "activated"
//
// It prints "ready" once it owns the watcher's name and "item SERVICE" as an item registers,
// and ends at the end of its input. The questions go to the item registered last.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

class Watcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
  Q_PROPERTY(int ProtocolVersion READ Version)
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ Items)

 public:
  bool HostRegistered() const { return true; }
  int Version() const { return 0; }
  QStringList Items() const { return items_; }
  QString last;

 public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
    // An item may name its path instead of its service; then the sender is the service.
    last = service.startsWith('/') ? message.service() : service;
    items_ << last;
    std::printf("item %s\n", last.toUtf8().constData());
    std::fflush(stdout);
    Q_EMIT StatusNotifierItemRegistered(last);
  }
  void RegisterStatusNotifierHost(const QString&) {}

 Q_SIGNALS:
  void StatusNotifierItemRegistered(const QString& service);
  void StatusNotifierItemUnregistered(const QString& service);
  void StatusNotifierHostRegistered();

 private:
  QStringList items_;
};

QVariant ItemProperty(const QString& service, const char* name) {
  QDBusMessage call = QDBusMessage::createMethodCall(service, "/StatusNotifierItem",
                                                     "org.freedesktop.DBus.Properties", "Get");
  call << QString("org.kde.StatusNotifierItem") << QString(name);
  const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return reply.arguments().first().value<QDBusVariant>().variant();
}

// One (iiay) picture of an a(iiay) list: width, height, ARGB32 in network order.
struct Picture {
  int width = 0, height = 0;
  QByteArray bytes;
};

QList<Picture> Pictures(const QDBusArgument& argument) {
  QList<Picture> pictures;
  argument.beginArray();
  while (!argument.atEnd()) {
    Picture p;
    argument.beginStructure();
    argument >> p.width >> p.height >> p.bytes;
    argument.endStructure();
    pictures << p;
  }
  argument.endArray();
  return pictures;
}

// The (ia{sv}av) layout, depth first.
void PrintLayout(const QDBusArgument& argument, QTextStream& out) {
  int id = 0;
  QVariantMap properties;
  argument.beginStructure();
  argument >> id >> properties;
  const QString type = properties.value("type").toString();
  if (id != 0 && type != "separator") {
    const bool enabled = properties.value("enabled", true).toBool();
    const bool checked = properties.value("toggle-state", 0).toInt() == 1;
    QString label = properties.value("label").toString();
    label.remove('_');
    const bool picture = !properties.value("icon-data").toByteArray().isEmpty();
    out << "menu " << id << ' ' << int(enabled) << ' ' << int(checked) << ' ' << int(picture) << ' '
        << label << '\n';
  }
  argument.beginArray();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    PrintLayout(child.variant().value<QDBusArgument>(), out);
  }
  argument.endArray();
  argument.endStructure();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  Watcher watcher;
  if (!bus.registerObject("/StatusNotifierWatcher", &watcher,
                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                              QDBusConnection::ExportAllProperties) ||
      !bus.registerService("org.kde.StatusNotifierWatcher")) {
    std::fprintf(stderr, "sni_watcher: cannot own org.kde.StatusNotifierWatcher\n");
    return 1;
  }
  QTextStream out(stdout);
  out << "ready" << Qt::endl;

  QSocketNotifier input(0, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    std::string line;
    if (!std::getline(std::cin, line)) {
      app.quit();
      return;
    }
    const QStringList words = QString::fromStdString(line).split(' ');
    const QString command = words.value(0);
    const QString service = watcher.last;
    if (command == "tip") {
      const QDBusArgument tip = ItemProperty(service, "ToolTip").value<QDBusArgument>();
      QString icon, title, text;
      tip.beginStructure();
      tip >> icon;
      Pictures(tip);
      tip >> title >> text;
      tip.endStructure();
      out << "tip " << title << Qt::endl;
    } else if (command == "icons") {
      out << "icons";
      QString middle = "none";
      for (const Picture& p :
           Pictures(ItemProperty(service, "IconPixmap").value<QDBusArgument>())) {
        out << ' ' << p.width;
        const int at = 4 * ((p.height / 4) * p.width + p.width / 2);
        const auto* b = reinterpret_cast<const uchar*>(p.bytes.constData());
        if (p.bytes.size() >= at + 4) {
          middle = QString::asprintf("#%02X%02X%02X", b[at + 1], b[at + 2], b[at + 3]);
        }
      }
      out << ' ' << middle << Qt::endl;
    } else if (command == "menu") {
      const QString path = ItemProperty(service, "Menu").value<QDBusObjectPath>().path();
      QDBusMessage call =
          QDBusMessage::createMethodCall(service, path, "com.canonical.dbusmenu", "GetLayout");
      call << 0 << -1 << QStringList();
      const QDBusMessage reply = bus.call(call);
      if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 2) {
        PrintLayout(reply.arguments().at(1).value<QDBusArgument>(), out);
      }
      out << "end " << path << Qt::endl;
    } else if (command == "click") {
      const QString path = ItemProperty(service, "Menu").value<QDBusObjectPath>().path();
      QDBusMessage call =
          QDBusMessage::createMethodCall(service, path, "com.canonical.dbusmenu", "Event");
      call << words.value(1).toInt() << QString("clicked")
           << QVariant::fromValue(QDBusVariant(QString())) << 0u;
      bus.call(call);
      out << "clicked" << Qt::endl;
    } else if (command == "activate") {
      QDBusMessage call = QDBusMessage::createMethodCall(service, "/StatusNotifierItem",
                                                         "org.kde.StatusNotifierItem", "Activate");
      call << 0 << 0;
      bus.call(call);
      out << "activated" << Qt::endl;
    }
  });
  return QCoreApplication::exec();
}

#include "sni_watcher.moc"
