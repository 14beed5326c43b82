#pragma once
// A temporary data folder for the administration tests: the shipped Config.ini and a Config.db
// created from the build's seed tables, so every test starts from the same demo rows.

#include "store/database.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>

class AdminFolder {
public:
    AdminFolder() {
        QFile::copy(QStringLiteral(KX_SOURCE_DATA_DIR "/Config.ini"),
                    dir_.filePath(QStringLiteral("Config.ini")));
        QFile::setPermissions(dir_.filePath(QStringLiteral("Config.ini")),
                              QFile::ReadOwner | QFile::WriteOwner);
        db_ = std::make_unique<ProductDatabase>(dir_.filePath(QStringLiteral("Config.db")));
        openError_ = db_->Open(QStringLiteral(KX_SEED_DIR));
    }
    bool ok() const { return dir_.isValid() && openError_.isEmpty(); }
    const QString& openError() const { return openError_; }
    QString path() const { return dir_.path(); }
    ProductDatabase& db() { return *db_; }

    // A catalogue entry of its own, for register counts the demo catalogue does not reach.
    bool AddParameter(const QString& name, int registers) {
        QSqlQuery q = db_->NewQuery();
        q.prepare(QStringLiteral("insert into Outpar(CSMC,ADDR,ZS,FH,DW,BL,CHECKMC) "
                                 "values(?,9000,?,0,'V',1,'')"));
        q.addBindValue(name);
        q.addBindValue(registers);
        return q.exec();
    }
    // The number of rows of a table, to show that nothing was written.
    int Rows(const QString& table) {
        QSqlQuery q = db_->NewQuery();
        if (!q.exec(QStringLiteral("select count(*) from ") + table) || !q.next()) return -1;
        return q.value(0).toInt();
    }

private:
    QTemporaryDir dir_;
    std::unique_ptr<ProductDatabase> db_;
    QString openError_;
};
