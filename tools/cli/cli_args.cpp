#include "cli_args.h"

CliArgs::CliArgs(const QStringList& args, const QSet<QString>& valued, const QSet<QString>& flags) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QLatin1String("--")) || arg == QLatin1String("--")) {
            words_ << arg;
            continue;
        }
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);
        if (name == QLatin1String("--help") || flags.contains(name)) {
            if (eq >= 0) throw UsageError{name + QStringLiteral(" takes no value")};
            flags_.insert(name);
        } else if (valued.contains(name)) {
            if (values_.contains(name)) throw UsageError{name + QStringLiteral(" is given twice")};
            if (eq >= 0) {
                values_.insert(name, arg.mid(eq + 1));
            } else {
                if (i + 1 >= args.size()) throw UsageError{name + QStringLiteral(" needs a value")};
                values_.insert(name, args[++i]);
            }
        } else {
            throw UsageError{QStringLiteral("unknown option %1").arg(name)};
        }
    }
}

int CliArgs::number(const QString& name, int fallback, int low, int high) const {
    if (!values_.contains(name)) return fallback;
    bool ok = false;
    const int v = values_.value(name).trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        throw UsageError{QStringLiteral("%1 \"%2\" is not a number %3..%4")
                             .arg(name, values_.value(name))
                             .arg(low)
                             .arg(high)};
    return v;
}
