// SPDX-License-Identifier: GPL-2.0-or-later
// The "Profile Setting" box of the System tab through its widgets, against simulated access
// points and a profile directory of the test's own: saving, the rewrite question, loading into
// the device, deleting with the selection that follows, and the list kept in step with the
// directory. Message boxes are scripted except where the real ones are the point.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "GuiFixture.h"
#include "mib/MibVariables.h"
#include "pages/ProfileStore.h"
#include "profiles/ProfileFile.h"

namespace kelvo::gui {
namespace {

using pages::ConfigurationSheet;

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class ProfileBoxViewTest : public test::AppFixture {
 protected:
  ProfileBoxViewTest() {
    EXPECT_TRUE(settings_.isValid());
    EXPECT_TRUE(QDir(settings_.path()).mkdir(QStringLiteral("Profile")));
    MakeApp(settings_.path() + QLatin1Char('/'), &prompter_);
  }

  // The System tab in front; body runs while the sheet is open.
  void InBox(const std::function<void()>& body) {
    OnTab(
        ConfigurationSheet::kSystem, [] { return true; },
        [&](ConfigurationSheetDialog*, QWidget*) { body(); });
  }
  // As InBox, after the Wireless and Security tabs were read, so that every page a profile is
  // made of holds the device's values.
  void InBoxWithPagesRead(const std::function<void()>& body) {
    OnTab(
        ConfigurationSheet::kWireless, [] { return true; },
        [&](ConfigurationSheetDialog*, QWidget*) {
          PressTab(ConfigurationSheet::kSecurity);
          PressTab(ConfigurationSheet::kSystem);
          body();
        });
  }

  template <typename W = QWidget>
  W* Widget(const char* name) {
    return test::Find<W>(sheet_->Tabs()->widget(ConfigurationSheet::kSystem), QLatin1String(name));
  }
  QListWidget* Profiles() { return Widget<QListWidget>("profileNameList"); }
  QLineEdit* NameField() { return Widget<QLineEdit>("newProfileName"); }
  void Press(const char* button) { QTest::mouseClick(Widget<QPushButton>(button), Qt::LeftButton); }
  void ClickEntry(int row) {
    QListWidget* list = Profiles();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }
  QStringList Listed() {
    QStringList names;
    for (int i = 0; i < Profiles()->count(); ++i) names << Profiles()->item(i)->text();
    return names;
  }
  // The entry the list shows selected; empty for none.
  QString Selected() {
    const auto items = Profiles()->selectedItems();
    return items.size() == 1 ? items.front()->text() : QString();
  }

  QString PathOf(const QString& name) {
    return settings_.filePath(QStringLiteral("Profile/") + name + QStringLiteral(".kvp"));
  }
  void WriteProfileFile(const QString& name, const QByteArray& bytes) {
    QFile file(PathOf(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QByteArray ReadProfileFile(const QString& name) {
    QFile file(PathOf(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  static bool IsProfile(const QByteArray& bytes) {
    return bytes.startsWith(QByteArray::fromStdString(std::string(profiles::kProfileHeader)));
  }

  // Position of the first SetRequest for variable in the log, or -1.
  int FirstSetOf(mib::Variable variable) {
    const auto oids = SetOids();
    const auto found = std::find(oids.begin(), oids.end(), mib::FullOid(variable));
    return found == oids.end() ? -1 : static_cast<int>(found - oids.begin());
  }

  QTemporaryDir settings_;
};

TEST_F(ProfileBoxViewTest, AddSaveListsTheNameFirstAndAsksBeforeRewritingIt) {
  WriteProfileFile(QStringLiteral("Older"), "kept as it is");
  InBoxWithPagesRead([&] {
    ASSERT_EQ(Listed(), QStringList{"Older"});
    Retype(NameField(), QStringLiteral("Lobby"));
    Press("addSaveButton");
    EXPECT_TRUE(IsProfile(ReadProfileFile(QStringLiteral("Lobby"))));
    EXPECT_EQ(Listed(), (QStringList{"Lobby", "Older"}));
    EXPECT_EQ(NameField()->text(), "");
    EXPECT_TRUE(prompter_.Shown().empty());

    // A listed name is selected and the rewrite question asked; No leaves file and field.
    WriteProfileFile(QStringLiteral("Lobby"), "before");
    Retype(NameField(), QStringLiteral("Lobby"));
    Press("addSaveButton");
    ASSERT_EQ(prompter_.Shown().size(), 1U);
    EXPECT_EQ(prompter_.Shown()[0].text, pages::profile_messages::kOverwriteQuestion);
    EXPECT_TRUE(prompter_.Shown()[0].question);
    EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::None);
    EXPECT_EQ(Selected(), "Lobby");
    EXPECT_EQ(ReadProfileFile(QStringLiteral("Lobby")), "before");
    EXPECT_EQ(NameField()->text(), "Lobby");

    // Yes rewrites the file and empties the field; the list keeps its entries.
    prompter_.QueueAnswer(ui::Answer::Yes);
    Press("addSaveButton");
    EXPECT_EQ(prompter_.Shown().size(), 2U);
    EXPECT_TRUE(IsProfile(ReadProfileFile(QStringLiteral("Lobby"))));
    EXPECT_EQ(NameField()->text(), "");
    EXPECT_EQ(Listed(), (QStringList{"Lobby", "Older"}));
    EXPECT_EQ(ReadProfileFile(QStringLiteral("Older")), "kept as it is");

    // Save rewrites the clicked entry's file without asking.
    WriteProfileFile(QStringLiteral("Lobby"), "before");
    ClickEntry(0);
    Press("saveButton");
    EXPECT_TRUE(IsProfile(ReadProfileFile(QStringLiteral("Lobby"))));
    EXPECT_EQ(prompter_.Shown().size(), 2U);
  });
}

TEST_F(ProfileBoxViewTest, LoadPushesTheProfileToTheAccessPointOnlyWhenConfirmed) {
  InBoxWithPagesRead([&] {
    Retype(NameField(), QStringLiteral("Harbour"));
    Press("addSaveButton");
    QByteArray bytes = ReadProfileFile(QStringLiteral("Harbour"));
    const qsizetype essid = bytes.indexOf("\r\nESSID:");
    ASSERT_GE(essid, 0) << bytes.toStdString();
    bytes.replace(essid, bytes.indexOf("\r\n", essid + 2) - essid, "\r\nESSID:harbour-net");
    WriteProfileFile(QStringLiteral("Harbour"), bytes);

    ClickEntry(0);
    sim_.ClearLog(0);
    Press("loadButton");  // answered No
    ASSERT_EQ(prompter_.Texts(),
              std::vector<std::string>{std::string(pages::profile_messages::kLoadQuestion)});
    EXPECT_EQ(prompter_.Shown()[0].icon, ui::MessageIcon::None);
    EXPECT_TRUE(SetOids().empty());

    prompter_.QueueAnswer(ui::Answer::Yes);
    Press("loadButton");
    EXPECT_EQ(prompter_.Shown().size(), 2U) << "no message after a good load";
    EXPECT_EQ(sim_.Get(0, "Essid").value,
              QByteArray("harbour-net").toHex().toUpper().toStdString());
    // IP settings first, then wireless, then security.
    const int ip = FirstSetOf(mib::Variable::IpAddress);
    const int wireless = FirstSetOf(mib::Variable::Essid);
    const int security = FirstSetOf(mib::Variable::AuthenticationType);
    EXPECT_GE(ip, 0);
    EXPECT_LT(ip, wireless);
    EXPECT_LT(wireless, security);
    EXPECT_FALSE(WasSet(mib::Variable::SystemRestart)) << "a load asks for no restart";
  });
}

TEST_F(ProfileBoxViewTest, DelRemovesTheClickedEntryAndSelectsTheOneThatTakesItsPlace) {
  for (const char* name : {"Alpha", "Bravo", "Charlie"}) {
    WriteProfileFile(QLatin1String(name), "any");
  }
  InBox([&] {
    ASSERT_EQ(Listed(), (QStringList{"Alpha", "Bravo", "Charlie"}));
    // Reaching the list with the keyboard selects nothing, so Del has nothing to remove.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(Profiles(), &focusIn);
    Press("delButton");
    EXPECT_EQ(Listed().size(), 3);
    EXPECT_EQ(Selected(), "");

    // The last entry: the new last one is selected.
    ClickEntry(2);
    Press("delButton");
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("Charlie"))));
    EXPECT_EQ(Listed(), (QStringList{"Alpha", "Bravo"}));
    EXPECT_EQ(Selected(), "Bravo");

    // The first entry: the one that moved up is selected.
    ClickEntry(0);
    Press("delButton");
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("Alpha"))));
    EXPECT_EQ(Listed(), QStringList{"Bravo"});
    EXPECT_EQ(Selected(), "Bravo");
    EXPECT_EQ(Profiles()->currentRow(), 0);

    // The selection Del left is the one the next Del uses.
    Press("delButton");
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("Bravo"))));
    EXPECT_TRUE(Listed().isEmpty());
    EXPECT_EQ(Selected(), "");
  });
  EXPECT_TRUE(prompter_.Shown().empty());
}

TEST_F(ProfileBoxViewTest, ListIsReadAgainOnEveryShowingAndForeignFilesAreRefused) {
  InBox([&] {
    EXPECT_TRUE(Listed().isEmpty());
    WriteProfileFile(QStringLiteral("Foreign"), "Some other program's notes\r\n");
    WriteProfileFile(QStringLiteral("Site.old"), "@@@ Kelvodesk Profile Information @@@\r\n");
    EXPECT_TRUE(Listed().isEmpty()) << "the directory is read when the tab is shown";
    PressTab(ConfigurationSheet::kIpConfig);
    PressTab(ConfigurationSheet::kSystem);
    ASSERT_EQ(Listed(), (QStringList{"Foreign", "Site"}));

    sim_.ClearLog(0);
    ClickEntry(0);
    prompter_.QueueAnswer(ui::Answer::Yes);
    Press("loadButton");
    // Listed by the part before its first ".", so "Site" names a file that is not there.
    ClickEntry(1);
    prompter_.QueueAnswer(ui::Answer::Yes);
    Press("loadButton");
    const std::vector<std::string> expected = {std::string(pages::profile_messages::kLoadQuestion),
                                               std::string(profiles::messages::kNotProfile),
                                               std::string(pages::profile_messages::kLoadQuestion),
                                               std::string(profiles::messages::kCannotOpen)};
    ASSERT_EQ(prompter_.Texts(), expected);
    for (std::size_t i : {1U, 3U}) {
      EXPECT_EQ(prompter_.Shown()[i].icon, ui::MessageIcon::Error);
      EXPECT_FALSE(prompter_.Shown()[i].question);
    }
    EXPECT_TRUE(SetOids().empty());
  });
}

TEST_F(ProfileBoxViewTest, RealBoxesBelongToTheSheetAndShowTheEntryTheyAskAbout) {
  WriteProfileFile(QStringLiteral("Aisle"), "any");
  WriteProfileFile(QStringLiteral("Lobby"), "not a profile");
  MakeApp(settings_.path() + QLatin1Char('/'), nullptr);
  struct Seen {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    QString selected;
  };
  std::vector<Seen> seen;
  const auto record = [&](QMessageBox* box) {
    seen.push_back(
        {box->text(), box->icon(), box->standardButtons(), box->parentWidget(), Selected()});
  };
  InBox([&] {
    Retype(NameField(), QStringLiteral("Lobby"));
    test::OnModalOf<QMessageBox>([&](QMessageBox* box) {
      ASSERT_NE(box, nullptr);
      record(box);
      box->button(QMessageBox::No)->click();
    });
    Press("addSaveButton");
    EXPECT_EQ(ReadProfileFile(QStringLiteral("Lobby")), "not a profile");

    test::OnModalOf<QMessageBox>([&](QMessageBox* question) {
      ASSERT_NE(question, nullptr);
      record(question);
      test::OnModalOf<QMessageBox>([&](QMessageBox* error) {
        ASSERT_NE(error, nullptr);
        record(error);
        error->button(QMessageBox::Ok)->click();
      });
      question->button(QMessageBox::Yes)->click();
    });
    Press("loadButton");
  });
  ASSERT_EQ(seen.size(), 3U);
  EXPECT_EQ(seen[0].text, Text(pages::profile_messages::kOverwriteQuestion));
  EXPECT_EQ(seen[0].selected, "Lobby") << "the entry shows selected while the question is up";
  EXPECT_EQ(seen[1].text, Text(pages::profile_messages::kLoadQuestion));
  EXPECT_EQ(seen[2].text, Text(profiles::messages::kNotProfile));
  for (std::size_t i : {0U, 1U}) {
    EXPECT_EQ(seen[i].icon, QMessageBox::NoIcon) << i;
    EXPECT_EQ(seen[i].buttons, QMessageBox::Yes | QMessageBox::No) << i;
  }
  EXPECT_EQ(seen[2].icon, QMessageBox::Critical);
  EXPECT_EQ(seen[2].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  for (const Seen& box : seen) EXPECT_EQ(box.parent, sheet_) << box.text.toStdString();
}

}  // namespace
}  // namespace kelvo::gui
