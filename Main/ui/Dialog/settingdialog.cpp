#include "ui/Dialog/settingdialog.h"

#include "global/appkeys.h"

#include <bridge/bridge_init.h>
#include <bridge/dataauth.h>
#include <bridge/interface.h>

#include <QHBoxLayout>
#include <QLabel>

SettingDialog::SettingDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("SettingDialog");
    auto* layout = new QHBoxLayout(this);
    m_hostTitle = new QLabel(QString::fromUtf8("直播地址："), this);
    m_hostTitle->setObjectName("label_meeting_host_title");
    m_host = new QLabel(this);
    m_host->setObjectName("label_meeting_host");
    layout->addWidget(m_hostTitle);
    layout->addWidget(m_host);
    updateMeetingHost();
}

void SettingDialog::updateMeetingHost()
{
    QString host;
    if (CD && CD->data)
        host = QString::fromUtf8(CD->data->get_data(kDataUserMeetingHost, bg::Value("")).toString());
    m_host->setText(host);
    m_hostTitle->setVisible(!host.isEmpty());
    m_host->setVisible(!host.isEmpty());
}
