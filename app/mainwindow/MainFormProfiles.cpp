// Server profiles: the picker right of the password fills the connection fields, its menu makes,
// renames and deletes profiles and ticks "Production server"; a production profile is marked in
// the connection panel, the window title and the accessible name, and asks before a Send that is
// not a read.

#include "BeforeCopyCall.h"
#include "MainForm.h"
#include "ParamTree.h"
#include "PasswordKeyring.h"
#include "ProductionConfirm.h"
#include "ProductionGuard.h"
#include "SecretParams.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>

#include <algorithm>

namespace {

// A band no one takes for an ordinary server: white on deep red, in any palette.
const QColor ProductionBand(0xB0, 0x10, 0x10);

} // namespace

void TMainForm::BuildProfileRow() {
    FPlainTitle = windowTitle();
    ProfileLabel = new QLabel(QStringLiteral("Profile"), ConnectionPanel);
    // The label stays clear of the password's box above the field, however wide its caption.
    const int left = std::max(Scaled(616), PasswordEdit->geometry().right() + 6);
    ProfileLabel->move(std::max(left, RememberPW->geometry().right() + 6), Scaled(8));
    ProfileLabel->adjustSize();
    ProfileBox = new QComboBox(ConnectionPanel);
    ProfileBox->setGeometry(left, Scaled(24), Scaled(118), Scaled(21));
    ProfileBox->setAccessibleName(QStringLiteral("Server profile"));
    ProfileLabel->setBuddy(ProfileBox);
    ProfileButton = new QToolButton(ConnectionPanel);
    ProfileButton->setText(QStringLiteral("..."));
    ProfileButton->setGeometry(ProfileBox->geometry().right() + 3, Scaled(24), Scaled(32),
                               Scaled(21));
    ProfileButton->setAccessibleName(QStringLiteral("Profile actions"));
    ProfileButton->setToolTip(
        QStringLiteral("New, rename or delete a profile; mark it a production server"));
    ProfileButton->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(ProfileButton);
    NewProfileAction = menu->addAction(QStringLiteral("&New..."));
    RenameProfileAction = menu->addAction(QStringLiteral("&Rename..."));
    DeleteProfileAction = menu->addAction(QStringLiteral("&Delete"));
    menu->addSeparator();
    ProductionAction = menu->addAction(QStringLiteral("&Production server"));
    ProductionAction->setCheckable(true);
    BeforeCopiesAction = menu->addAction(QStringLiteral("&Before copies"));
    BeforeCopiesAction->setCheckable(true);
    BeforeCopiesAction->setToolTip(
        QStringLiteral("Before a change, money or remove command, send the read that shows what "
                       "it alters and keep its answer in the history (on production profiles "
                       "unless unticked)"));
    ProfileButton->setMenu(menu);
    connect(NewProfileAction, &QAction::triggered, this, [this] { NewProfileClick(); });
    connect(RenameProfileAction, &QAction::triggered, this, [this] { RenameProfileClick(); });
    connect(DeleteProfileAction, &QAction::triggered, this, [this] { DeleteProfileClick(); });
    connect(ProductionAction, &QAction::triggered, this,
            [this](bool AChecked) { ProductionClick(AChecked); });
    connect(BeforeCopiesAction, &QAction::triggered, this,
            [this](bool AChecked) { BeforeCopiesClick(AChecked); });

    // The keyring entry of the current profile is read when the settings are.
    FProfileName = FProfiles.CurrentName();
    FPasswordKeeper.UseKey(TServerProfiles::KeyringKey(FProfileName));
    FillProfileBox();
    connect(ProfileBox, &QComboBox::activated, this,
            [this](int AIndex) { ProfileBoxChange(AIndex); });
}

void TMainForm::FillProfileBox() {
    const QSignalBlocker blocker(ProfileBox);
    ProfileBox->clear();
    FProduction = false;
    FBeforeCopies.reset();
    for (const TServerProfile& profile : FProfiles.List({})) {
        ProfileBox->addItem(profile.Name);
        if (profile.Name == FProfileName) {
            FProduction = profile.Production;
            FBeforeCopies = profile.BeforeCopies;
        }
    }
    ProfileBox->setCurrentIndex(0); // the current profile comes first
    DeleteProfileAction->setEnabled(ProfileBox->count() > 1);
    ShowProfileMark();
}

void TMainForm::ShowProfileMark() {
    const QSignalBlocker blocker(ProductionAction);
    ProductionAction->setChecked(FProduction);
    const QSignalBlocker beforeBlocker(BeforeCopiesAction);
    BeforeCopiesAction->setChecked(TakesBeforeCopy(FBeforeCopies, FProduction));
    QPalette band = ConnectionPanel->parentWidget()->palette();
    if (FProduction) {
        band.setColor(QPalette::Window, ProductionBand);
        band.setColor(QPalette::WindowText, Qt::white);
        ProfileLabel->setText(QStringLiteral("PRODUCTION: ") + FProfileName);
        setWindowTitle(FPlainTitle + QStringLiteral(" - PRODUCTION: ") + FProfileName);
    } else {
        ProfileLabel->setText(QStringLiteral("Profile"));
        setWindowTitle(FPlainTitle);
    }
    QFont font = ProfileLabel->font();
    font.setBold(FProduction);
    ProfileLabel->setFont(font);
    ProfileLabel->adjustSize();
    ConnectionPanel->setAutoFillBackground(FProduction);
    ConnectionPanel->setPalette(band);
    // The fields keep their own colours on the band.
    for (QLineEdit* field : {VerEdit, IPEdit, FilePortEdit, APIPathEdit, PasswordEdit})
        field->setPalette(palette());
    ConnectionPanel->setAccessibleName(FProduction
                                           ? QStringLiteral("Production server ") + FProfileName
                                           : QStringLiteral("Connection"));
    setAccessibleName(windowTitle());
}

TServerProfile TMainForm::FieldProfile() {
    TServerProfile profile;
    profile.Name = FProfileName;
    profile.Version = VerEdit->text();
    profile.IP = IPEdit->text();
    profile.Port = FilePortEdit->text();
    profile.Path = APIPathEdit->text();
    profile.RememberPW = RememberPW->isChecked();
    // The keyring takes the password where it answers; the file keeps it otherwise.
    const bool inKeyring = FPasswordKeeper.Keep(profile.RememberPW, PasswordEdit->text());
    profile.Password = profile.RememberPW && !inKeyring ? PasswordEdit->text() : QString();
    profile.Production = FProduction;
    profile.BeforeCopies = FBeforeCopies;
    return profile;
}

void TMainForm::ProfileBoxChange(int AIndex) {
    const QString name = ProfileBox->itemText(AIndex);
    if (AIndex < 0 || name == FProfileName)
        return;
    try {
        const auto incoming = FProfiles.Find(name, {});
        if (!incoming)
            return FillProfileBox();
        TConnectionSettings settings;
        FProfiles.Switch(FieldProfile(), *incoming, settings);
        FProfileName = incoming->Name;
        FPasswordKeeper.UseKey(TServerProfiles::KeyringKey(FProfileName));
        ShowConnectionFields(settings);
        SaveSettings();
        RepaintTrees();
    } catch (const std::exception& error) {
        ReportError(error);
    }
    FillProfileBox();
}

bool TMainForm::NewProfile(const QString& AName) {
    try {
        TServerProfile profile;
        profile.Name = AName;
        profile.IP = QStringLiteral("http://127.0.0.1");
        profile.Port = QStringLiteral("8087");
        profile.Path = QStringLiteral("api");
        FProfiles.Add(profile, {});
    } catch (const std::exception& error) {
        ReportError(error);
        return false;
    }
    FillProfileBox();
    ProfileBoxChange(ProfileBox->findText(AName));
    return true;
}

bool TMainForm::RenameProfile(const QString& AName) {
    try {
        const QString oldKey = TServerProfiles::KeyringKey(FProfileName);
        FProfiles.RenameCurrent(AName, {});
        FProfileName = AName;
        // The remembered password moves to the new name's keyring entry.
        if (TServerProfiles::KeyringKey(AName) != oldKey) {
            FPasswordKeeper.Keep(false, {});
            FPasswordKeeper.UseKey(TServerProfiles::KeyringKey(AName));
            SaveSettings();
        }
    } catch (const std::exception& error) {
        ReportError(error);
        return false;
    }
    FillProfileBox();
    return true;
}

void TMainForm::NewProfileClick() {
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("New profile"),
                                               QStringLiteral("Name of the new server profile:"),
                                               QLineEdit::Normal, {}, &ok);
    if (ok)
        NewProfile(name);
}

void TMainForm::RenameProfileClick() {
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, QStringLiteral("Rename profile"),
                              QStringLiteral("New name of the profile '%1':").arg(FProfileName),
                              QLineEdit::Normal, FProfileName, &ok);
    if (ok && name != FProfileName)
        RenameProfile(name);
}

void TMainForm::DeleteProfileClick() {
    if (ProfileBox->count() < 2)
        return;
    const QString doomed = FProfileName;
    if (QMessageBox::question(this, QStringLiteral("Delete profile"),
                              QStringLiteral("Delete the server profile '%1' and its remembered "
                                             "password?")
                                  .arg(doomed),
                              QMessageBox::Yes | QMessageBox::Cancel,
                              QMessageBox::Cancel) != QMessageBox::Yes)
        return;
    // Another profile becomes current first, which keeps the outgoing one's password where it
    // keeps passwords; only then can the deleted one's leave the keyring for good.
    ProfileBoxChange(1);
    try {
        FProfiles.Remove(doomed, {});
    } catch (const std::exception& error) {
        ReportError(error);
    }
    if (FProfileName != doomed)
        TPasswordKeyring(TServerProfiles::KeyringKey(doomed)).Remove();
    FillProfileBox();
}

void TMainForm::ProductionClick(bool AChecked) {
    FProduction = AChecked;
    StoreProfileMarks();
}

void TMainForm::StoreProfileMarks() {
    try {
        TServerProfile profile;
        profile.Name = FProfileName;
        profile.Production = FProduction;
        profile.BeforeCopies = FBeforeCopies;
        FProfiles.Store(profile);
    } catch (const std::exception& error) {
        ReportError(error);
    }
    ShowProfileMark();
}

bool TMainForm::ConfirmProductionSend(const TParamValues& AForm) {
    if (FCurrentCommand == nullptr || !NeedsConfirmation(*FCurrentCommand, FProduction))
        return true;
    // The password and other secrets are not shown.
    const QStringList secrets = SecretNames(*FCurrentCommand);
    QStringList lines;
    for (qsizetype row = 0; row < AForm.Count(); ++row) {
        const QString name = AForm.Name(row);
        const bool secret =
            name.compare(u"Password", Qt::CaseInsensitive) == 0 || IsSecretName(secrets, name);
        lines << (secret ? name + QStringLiteral("=(not shown)") : AForm.Line(row));
    }
    TProductionConfirm confirm(FProfileName, *FCurrentCommand, lines, this);
    return confirm.exec() == QDialog::Accepted;
}

void TMainForm::BeforeCopiesClick(bool AChecked) {
    // The default, chosen again, is kept as no choice, so it follows the production mark.
    FBeforeCopies = AChecked == FProduction ? std::nullopt : std::optional<bool>(AChecked);
    StoreProfileMarks();
}
