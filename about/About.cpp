#include "about/About.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/WindowPlacement.h"

namespace tarvelo {

TAboutBox::TAboutBox(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("登录须知"));
    setFixedSize(420, 280);
    auto* layout = new QVBoxLayout(this);
    QFont kai(QStringLiteral("楷体"));
    kai.setPixelSize(22);
    kai.setBold(true);
    auto* product = new QLabel(QStringLiteral("Tarvelo 云平台"), this);
    product->setFont(kai);
    product->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(QStringLiteral("版本 1.0"), this);
    version->setAlignment(Qt::AlignCenter);
    auto* text = new QLabel(
        QStringLiteral("建设工程材料价格信息服务的客户端。\n\n"
                       "按地区或材料类别查询每月的信息价、成交价、苗木价和厂商报价；"
                       "数据更新人员导入并上传每月的价格表；管理员分配用户权限。\n\n"
                       "请使用已注册的账号登录。一个账号同一时间只能在一台计算机上登录。"),
        this);
    text->setWordWrap(true);
    OKButton = new QPushButton(QStringLiteral("确定"), this);
    OKButton->setAutoDefault(true);  // Enter presses it
    connect(OKButton, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(product);
    layout->addWidget(version);
    layout->addWidget(text, 1);
    layout->addWidget(OKButton, 0, Qt::AlignRight);
    WindowPlacement::keepOnScreen(this);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarvelo
