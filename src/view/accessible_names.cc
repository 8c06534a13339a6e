#include "view/accessible_names.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <stdexcept>

#include "window/option_ip.h"

namespace rtupoll {

namespace {

// A label with this property is announced as "<property>: <text>".
constexpr char kSpokenCaption[] = "spokenCaption";

// Keeps announcing the label's current text: QLabel reports each new text
// as a change of name, which a name of its own would hide.
class CaptionedLabel : public QAccessibleWidget {
 public:
  explicit CaptionedLabel(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

  QString text(QAccessible::Text kind) const override {
    if (kind != QAccessible::Name) return QAccessibleWidget::text(kind);
    return widget()->property(kSpokenCaption).toString() + ": " + static_cast<const QLabel*>(widget())->text();
  }
};

QAccessibleInterface* captionedLabels(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String("QLabel") || !object->property(kSpokenCaption).isValid()) return nullptr;
  return new CaptionedLabel(static_cast<QLabel*>(object));
}

template <typename W = QWidget>
W* control(QWidget& window, const QString& name) {
  W* found = window.findChild<W*>(name);
  if (found == nullptr) throw std::logic_error("the window has no control " + name.toStdString());
  return found;
}

template <typename W = QWidget>
W* control(QWidget& window, const char* name, int index) {
  return control<W>(window, name + QString::number(index));
}

// Counted from 1, as an operator counts the panels and the read columns.
QString ordinal(const char* what, int index) { return QStringLiteral("%1 %2").arg(what).arg(index + 1); }

void nameDeviceSlot(QWidget& window, int i) {
  const QString device = ordinal("Device", i);
  control(window, "frmDevice", i)->setAccessibleName(device);
  auto* host = control(window, "txtIP", i);
  host->setAccessibleName(device + " host");
  control<QLabel>(window, "Label1", i)->setBuddy(host);
  auto* port = control(window, "txtPort", i);
  port->setAccessibleName(device + " port");
  control<QLabel>(window, "Label2", i)->setBuddy(port);
  control(window, "lblStatus", i)->setProperty(kSpokenCaption, device + " status");
  control(window, "cmdConnect", i)->setAccessibleName("Connect " + device.toLower());
  control(window, "cmdDisconnect", i)->setAccessibleName("Disconnect " + device.toLower());
}

void nameReadDefinition(QWidget& window, int r) {
  const QString read = ordinal("Read", r);
  auto* choice = control<QComboBox>(window, "LstIP", r);
  const QString name = read + " device";
  // The entry field is an input of its own to a screen reader.
  for (QWidget* part : {static_cast<QWidget*>(choice), static_cast<QWidget*>(choice->lineEdit())}) {
    part->setAccessibleName(name);
    part->setAccessibleDescription("-A, -B and -C are devices 1, 2 and 3");
  }
  // On Linux Qt announces a combo box by its current entry and takes its
  // name from a label tied to it, never from the name set above; the row
  // caption "DEVICE" can be tied to one box only, so each box gets a caption
  // of its own that is never shown.
  auto* caption = new QLabel(name, choice->parentWidget());
  caption->setObjectName(choice->objectName() + "Caption");
  caption->hide();
  caption->setBuddy(choice);
  control(window, "strReg", r)->setAccessibleName(read + " first register");
  control(window, "LegReg", r)->setAccessibleName(read + " number of registers");
}

}  // namespace

void nameForScreenReaders(QWidget& window) {
  QAccessible::installFactory(captionedLabels);
  for (int i = 0; i < kSlots; ++i) nameDeviceSlot(window, i);
  for (int r = 0; r < kReadDefs; ++r) nameReadDefinition(window, r);
  control(window, "Label4")->setProperty(kSpokenCaption, "Reconnect countdown");
  control(window, "bar0")->setAccessibleName("Reconnect progress");
  control(window, "lb_file")->setProperty(kSpokenCaption, "Data file");
  control(window, "txt_print")->setAccessibleName("Data line");
  control(window, "tabel")->setAccessibleName("Register values");
  control(window, "lblFileNotice")->setProperty(kSpokenCaption, "File notice");
}

}  // namespace rtupoll
