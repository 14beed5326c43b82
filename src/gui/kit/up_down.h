#pragma once
// A pair of arrow buttons tied to an edit field: each click moves the number in the field one
// step within a range, the way the module's configuration fields are stepped. The field itself
// stays a plain edit, so a number outside the range can still be typed (and is then reported or
// used by the operation that reads it). GUI thread only.

#include <QWidget>

class QLineEdit;

class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    QLineEdit* buddy() const { return buddy_; }
    // Moves the field's number by delta, kept within the range; a field that holds no number
    // starts from the minimum.
    void stepBy(int delta);
    // Puts a position into the field, kept within the range.
    void setPosition(int value);

private:
    QLineEdit* buddy_;
    int minimum_;
    int maximum_;
};
