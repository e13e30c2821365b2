#pragma once

#include <QDialog>

class QPushButton;
class QStackedWidget;
class UserPayForm;
class VipSpeciesButton;

// "会员充值": personal and business purchase pages behind two tab buttons. A payment made on either page is
// reported with `sig_paySuccess` and the dialog's parent. The business tab goes away when the business list
// is empty. GUI thread.
class VipPayDialog : public QDialog {
    Q_OBJECT
public:
    explicit VipPayDialog(QWidget* parent = nullptr);

    UserPayForm* personalPage() const { return m_personal; }
    UserPayForm* businessPage() const { return m_business; }

signals:
    void sig_paySuccess(QWidget* parent);

public slots:
    void on_toolButton_userpay_clicked();
    void on_toolButton_busipay_clicked();
    void slot_notBusi();
    void slot_paySuccess();
    void on_pushButton_vip_desc_clicked();

private:
    void buildForm();

    QWidget* m_head = nullptr;
    QPushButton* m_close = nullptr;
    QPushButton* m_description = nullptr;
    VipSpeciesButton* m_userTab = nullptr;
    VipSpeciesButton* m_businessTab = nullptr;
    QWidget* m_line = nullptr;
    QStackedWidget* m_stack = nullptr;
    QWidget* m_userPage = nullptr;
    QWidget* m_businessPage = nullptr;
    UserPayForm* m_personal = nullptr;
    UserPayForm* m_business = nullptr;
};
