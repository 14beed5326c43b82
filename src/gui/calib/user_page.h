#pragma once
// The user tab TabSheet4 "用户配置": the user parameters (Panel10 with GroupBox5), the download
// and service buttons (Panel8), and the service log (Panel11 with ListBox1). The product
// selection shows the parts that the model's protocol uses. This builds the controls with their
// names, captions and form defaults; the operations attach their handlers by name. GUI thread
// only.

#include <QWidget>

class UserPage : public QWidget {
    Q_OBJECT
public:
    explicit UserPage(QWidget* parent);

    template <typename T> T* control(const char* name) const {
        return findChild<T*>(QLatin1String(name));
    }
};
