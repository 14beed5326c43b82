#pragma once
// Helpers of the management window tests: controls by name, and a choice in a scheme selector
// made the way a user makes it (the entry picked, then the drop-down closed).

#include "gui/admin/management_form.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QTableWidget>

struct Window {
    TGlForm& form;

    template <typename T = QWidget> T* get(const char* name) const {
        return form.findChild<T*>(QLatin1String(name));
    }
    QComboBox* box(const char* name) const { return get<QComboBox>(name); }
    QListWidget* list(const char* name) const { return get<QListWidget>(name); }
    QTableWidget* grid() const { return get<QTableWidget>("AdvStringGrid"); }
    QString cell(int row, int column) const { return grid()->item(row, column)->text(); }
    void setCell(int row, int column, const QString& text) const {
        grid()->item(row, column)->setText(text);
    }
    static QStringList Items(const QComboBox* box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }
    static QStringList Items(const QListWidget* list) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        return items;
    }
    // Picks an entry of CBox_Type or CBox_Pz and closes the drop-down.
    void choose(const char* selector, int index) const {
        get<SchemeSelector>(selector)->chooseFromDropDown(index);
        QCoreApplication::processEvents(); // the close-up is delivered after the choice
    }
    void choose(const char* selector, const QString& text) const {
        choose(selector, box(selector)->findText(text));
    }
    // Entry mode with a typed name.
    void typeNewScheme(const QString& name) const {
        choose("CBox_Type", box("CBox_Type")->count() - 1);
        box("CBox_Type")->setEditText(name);
    }
    void selectParameter(const char* listName, const QString& text) const {
        QListWidget* l = list(listName);
        l->setCurrentRow(Items(l).indexOf(text));
    }
};
