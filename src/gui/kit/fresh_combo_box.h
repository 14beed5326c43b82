#pragma once
// A drop-down list that says when it is about to open, so that its owner can refill it first:
// the product models of a station on a shared database change on other stations while this one
// runs. GUI thread only.

#include <QComboBox>

class FreshComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override {
        emit aboutToShowPopup();
        QComboBox::showPopup();
    }

signals:
    void aboutToShowPopup();
};
