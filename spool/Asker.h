#pragma once

#include <QString>

/// Modal question boxes. Answers are the classic codes: Yes 6, No 7.
class Asker
{
public:
    enum Answer
    {
        Yes = 6,
        No = 7
    };
    enum Flags
    {
        YesNo = 4,
        Information = 64,
        DefaultSecond = 256
    };
    virtual ~Asker() = default;
    /// An empty title shows the application's title.
    virtual int ask(const QString& prompt, int flags, const QString& title = QString()) = 0;
    /// Tells the user about a failure, with an OK button only.
    virtual void inform(const QString& text, const QString& title = QString())
    {
        Q_UNUSED(text);
        Q_UNUSED(title);
    }
};
