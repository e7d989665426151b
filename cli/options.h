#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The options of one command: "--name value", "--name=value", "-o value" (as
// "--output"), "-h" (as "--help") and flags without a value. Unknown options, missing values and
// stray words are errors.
class Options {
public:
    bool parse(const QStringList &args, const QStringList &valued, const QStringList &flags);
    QString error() const { return problem; }
    bool has(const QString &name) const { return values.contains(name); }
    QString value(const QString &name, const QString &fallback = QString()) const
    {
        return values.value(name, fallback);
    }

private:
    QHash<QString, QString> values;
    QString problem;
};
