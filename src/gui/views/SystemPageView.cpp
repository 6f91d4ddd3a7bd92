// SPDX-License-Identifier: GPL-2.0-or-later
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "pages/ProfileStore.h"
#include "views/ControlBinding.h"
#include "views/PageViews.h"

namespace kelvo::gui {
namespace {

class SystemPageView final : public PageView {
 public:
  SystemPageView(pages::SystemPage& page, pages::ProfileStore& profiles, QWidget* parent)
      : PageView(parent), page_(page), profiles_(profiles) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DeviceInformation());
    // Never shown: the trap switch is only carried from the read to the next write.
    auto* trap = new QGroupBox(QStringLiteral("Trap"), this);
    trap->setObjectName(QStringLiteral("trapGroup"));
    auto* trapEnabled = new QCheckBox(QStringLiteral("Trap Enabled"), trap);
    Name(trapEnabled, "trapEnabled", "Trap Enabled");
    (new QVBoxLayout(trap))->addWidget(trapEnabled);
    binder_.Flags(trap, page_.TrapEnabled());
    binder_.Check(trapEnabled, page_.TrapEnabled());
    layout->addWidget(trap);

    // The password and the device-wide actions on the left, the profiles on the right.
    auto* left = new QVBoxLayout;
    left->addWidget(AdministratorPassword());
    left->addLayout(DeviceActions());
    left->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addLayout(left);
    middle->addWidget(ProfileSetting(), 1);
    layout->addLayout(middle, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    // The page's default button: never shown and without action.
    bottom->addWidget(Button("defaultButton", "", page_.DefaultButton(), {}));
    bottom->addWidget(
        Button("refreshButton", "Refresh", page_.RefreshButton(), [this] { page_.Refresh(); }));
    bottom->addWidget(
        Button("applyButton", "Apply", page_.ApplyButton(), [this] { page_.Apply(); }));
    layout->addLayout(bottom);
  }

  void ShowModel() override { binder_.Refresh(); }

 private:
  static void Name(QWidget* widget, const char* objectName, const char* label) {
    widget->setObjectName(QLatin1String(objectName));
    widget->setAccessibleName(QLatin1String(label));
  }

  QLineEdit* TextBox(const char* objectName, const char* label, ui::TextField& field) {
    auto* edit = new QLineEdit(this);
    Name(edit, objectName, label);
    binder_.Text(edit, field);
    return edit;
  }

  QPushButton* Button(const char* objectName, const char* label, ui::Button& state,
                      Binder::Action press) {
    auto* button = NewPageButton(QLatin1String(label), QString(), this);
    Name(button, objectName, label);
    binder_.Push(button, state, std::move(press));
    return button;
  }

  QGroupBox* DeviceInformation() {
    auto* group = new QGroupBox(QStringLiteral("Device Information"), this);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("Description:"),
                 TextBox("description", "Description", page_.Description()));
    form->addRow(QStringLiteral("Mac Address:"),
                 TextBox("macAddress", "Mac Address", page_.MacAddress()));
    form->addRow(QStringLiteral("Regulation Domain:"),
                 TextBox("regulationDomain", "Regulation Domain", page_.RegulationDomain()));

    // The regulatory list and the serial number stay hidden; Apply writes them back as read.
    auto* domains = new QComboBox(group);
    Name(domains, "regulatoryDomainList", "Regulatory Domain");
    binder_.Choices(domains, page_.RegulatoryDomainList());
    form->addRow(domains);
    auto* serialLabel = new QLabel(QStringLiteral("Serial Number:"), group);
    binder_.Flags(serialLabel, page_.SerialNumber());
    form->addRow(serialLabel, TextBox("serialNumber", "Serial Number", page_.SerialNumber()));
    return group;
  }

  QGroupBox* AdministratorPassword() {
    auto* group = new QGroupBox(QStringLiteral("Administrator Password"), this);
    auto* form = new QFormLayout(group);
    QLineEdit* password = TextBox("newPassword", "New Password", page_.NewPassword());
    QLineEdit* confirm = TextBox("confirmPassword", "Confirm Password", page_.ConfirmPassword());
    for (QLineEdit* edit : {password, confirm}) {
      edit->setEchoMode(QLineEdit::Password);
      // Room for the longest password the device takes.
      edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QString(16, QChar(0x25CF))));
    }
    form->addRow(QStringLiteral("New Password:"), password);
    form->addRow(QStringLiteral("Confirm Password:"), confirm);
    return group;
  }

  QGroupBox* ProfileSetting() {
    auto* group = new QGroupBox(QStringLiteral("Profile Setting"), this);
    auto* grid = new QGridLayout(group);
    auto* list = new QListWidget(group);
    Name(list, "profileNameList", "Profile Name List");
    list->setMinimumHeight(list->fontMetrics().height() * 4);
    binder_.List(list, page_.ProfileNameList());
    QLineEdit* name = TextBox("newProfileName", "New Profile Name", page_.NewProfileName());
    name->setMinimumWidth(name->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWW")));

    grid->addWidget(new QLabel(QStringLiteral("Profile Name List :"), group), 0, 0, 1, 2);
    grid->addWidget(list, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("New Profile Name:"), group), 2, 0, 1, 2);
    grid->addWidget(name, 3, 0);
    grid->addWidget(
        Button("addSaveButton", "Add/Save", page_.AddSaveButton(), [this] { profiles_.AddSave(); }),
        3, 1);
    auto* commands = new QHBoxLayout;
    commands->addWidget(
        Button("saveButton", "Save", page_.SaveButton(), [this] { profiles_.Save(); }));
    commands->addWidget(
        Button("loadButton", "Load", page_.LoadButton(), [this] { profiles_.Load(); }));
    commands->addWidget(Button("delButton", "Del", page_.DelButton(), [this] { profiles_.Del(); }));
    grid->addLayout(commands, 4, 0, 1, 2);
    grid->setRowStretch(1, 1);
    return group;
  }

  QLayout* DeviceActions() {
    auto* grid = new QGridLayout;
    grid->addWidget(Button("updateFwButton", "Update F/W", page_.UpdateFwButton(),
                           [this] { page_.UpdateFirmware(); }),
                    0, 0);
    grid->addWidget(Button("loadDefaultButton", "Load Default", page_.LoadDefaultButton(),
                           [this] { page_.LoadDefault(); }),
                    0, 1);
    grid->addWidget(Button("resetButton", "Reset", page_.ResetButton(), [this] { page_.Reset(); }),
                    1, 0);
    grid->addWidget(Button("mfgButton", "MFG", page_.MfgButton(), [this] { page_.OpenRfTest(); }),
                    1, 1);
    return grid;
  }

  pages::SystemPage& page_;
  pages::ProfileStore& profiles_;
  Binder binder_{[this] { ShowModel(); }};
};

}  // namespace

PageView* CreateSystemPageView(pages::ConfigurationSheet& sheet, QWidget* parent) {
  return new SystemPageView(sheet.System(), sheet.Profiles(), parent);
}

}  // namespace kelvo::gui
