#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class SettingDialog;
}
class HBoxButton;
class PreviewWidget;
class QPushButton;

// The client's settings window: stream parameters, a fixed room number and the account's live start
// address on the general page; product, version and the website's links on the about page.
//
// The application object creates the one instance with the main window as parent; it lives until the
// process ends. Stored values are shown once, at construction; every exec() writes the controls back to the
// configuration store and saves it. Links that no browser can open are shown for copying. GUI thread only.
class SettingDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingDialog(QWidget* parent = nullptr);
    ~SettingDialog() override;

    // Runs the dialog modally, then writes the settings back and saves them, whatever the result.
    int exec() override;

    // Refreshes the live-start-address row from the run-time data "user_meeting_host".
    void updateMeetingHost();

    // False (outputs untouched) when the account has no live start address. Otherwise compares the typed
    // address, trimmed, with the account's (case-sensitive), writes the outcome to *matches, copies the
    // account's address to *host when they match, and returns true.
    bool checkMeetingHost(bool* matches, QString* host) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void slot_close();
    void SwitchPage(int id);
    void on_pushButton_setting_delete_image_clicked();
    void on_pushButton_setting_general_background_image_clicked();
    void on_pushButton_setting_greenscm_background_image_clicked();
    void on_pushButton_setting_delete_greenscm_image_clicked();
    void slot_openUrl(QString url);
    void on_pushButton_meeting_key_clear_clicked();
    void on_pushButton_meeting_key_whatis_clicked();
    void on_pushButton_close_clicked();

private:
    void loadStyleSheets();
    void setHeaderProperties(int titleHeight);
    void fillComboBoxes();
    void showVideoSettings();
    void showMeetingKey();
    void hideHostRow();
    void dressPageButtons();
    void dressBackgroundRows();
    void fillAboutPage();
    void setUpPageGroup();
    void writeBack();
    bool meetingKeyWritable() const;

    // Background rows (settingdialog_background.cpp).
    struct BackgroundRow {
        const char* pathKey;
        const char* dirKey;
        PreviewWidget* preview;
        HBoxButton* add;
        QPushButton* remove;
    };
    BackgroundRow canvasRow() const;
    BackgroundRow greenScreenRow() const;
    void loadBackgroundRow(const BackgroundRow& row);
    void applyRowInvariant(const BackgroundRow& row);
    QString pickPicture(const BackgroundRow& row);
    void storePicture(const BackgroundRow& row, const QString& file);
    void removePicture(const BackgroundRow& row);

    std::unique_ptr<Ui::SettingDialog> ui;
    int hostClickCount = 0;
    bool hostCheckEnabled = false;
};
