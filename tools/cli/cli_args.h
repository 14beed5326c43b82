#pragma once
// The arguments of one subcommand of kx7410-cli: options "--name VALUE", "--name=VALUE" and flags
// "--name", each known to the subcommand, and the words that are not options. A wrong argument
// throws UsageError naming it (exit code 3, nothing sent).

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <stdexcept>

struct UsageError {
    QString text;
};

class CliArgs {
public:
    // valued: the options that take a value; flags: those that do not (--help always is one).
    CliArgs(const QStringList& args, const QSet<QString>& valued, const QSet<QString>& flags);

    bool has(const QString& name) const { return values_.contains(name) || flags_.contains(name); }
    QString value(const QString& name, const QString& fallback = {}) const {
        return values_.value(name, fallback);
    }
    // The value as a whole number within low..high; throws UsageError naming the option.
    int number(const QString& name, int fallback, int low, int high) const;
    const QStringList& words() const { return words_; }

private:
    QMap<QString, QString> values_;
    QSet<QString> flags_;
    QStringList words_;
};
