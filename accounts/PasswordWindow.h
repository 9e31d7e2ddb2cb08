#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace tarvelo {

class DataSet;

// What the password change and reset windows share: three labelled boxes, "确定" and "放弃", the
// keys, and the second half of "确定" (a new password twice, its stored form written into the
// row of the login window's latest lookup and sent). The first box is the window's own check; a
// window may ask the service once more before the write.
class TPasswordWindow : public QWidget {
    Q_OBJECT
public:
    QLineEdit* MaskEdit1;
    QLineEdit* MaskEdit2;
    QLineEdit* MaskEdit3;
    QPushButton* BitBtn1;  // "确定"
    QPushButton* BitBtn2;  // "放弃"

    void BitBtn1Click();
    virtual void FormShow();

protected:
    TPasswordWindow(QWidget* owner, const QString& objectName, const QString& caption,
                    const QStringList& labels, int firstBoxWidth, bool firstBoxSecret);
    // The check of the first box against the looked-up row; false when it refused (it has
    // shown its message and put the focus back).
    virtual bool checkFirstBox(DataSet& row) = 0;
    // The last check, once the new password has been typed twice alike; false when it refused
    // (as checkFirstBox). None by default.
    virtual bool checkBeforeWrite(DataSet& row);
    void refuse(const char* message, QLineEdit* focus);

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;  // FormKeyDown; Escape closes
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tarvelo
