#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

class QGridLayout;
class QLabel;
class QPushButton;

// Stops a user who is not a member: "您还不是会员，请开通会员后使用", the table of membership rights the
// service published in the application configuration, a contact link to the operator's website and
// "立即购买". exec() gives Accepted for "立即购买" and Rejected for the close button or Escape.
//
// Built completely in the constructor (the table shows the rights known then); keys, values and the brief
// are shown as plain text. Owns the table's cells. GUI thread only.
class VIPRightShowDialog : public QDialog {
    Q_OBJECT
public:
    using Rights = QList<QPair<QString, QString>>;
    explicit VIPRightShowDialog(QWidget* parent = nullptr);
    ~VIPRightShowDialog() override;

    // Test seam: where the rights and the brief come from (the application object's configuration reply);
    // an empty source restores it.
    using RightsSource = std::function<void(Rights& rights, QString& brief)>;
    static void setRightsSource(RightsSource source);

public slots:
    void on_pushButton_pay_now_clicked();
    void on_pushButton_close_clicked();
    void slot_openUrl(const QString& url);

private:
    void buildForm();
    void initRightsTable();
    QWidget* wrapCell(QWidget* content, bool keyColumn);

    QWidget* m_title = nullptr;
    QWidget* m_table = nullptr;
    QLabel* m_contact = nullptr;
    QPushButton* m_close = nullptr;
    QList<QWidget*> m_cells;
};
