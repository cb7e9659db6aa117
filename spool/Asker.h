#pragma once

#include <QFlags>
#include <QString>

/// Modal question boxes: the engine asks, the user (or, with nobody there, a policy) answers.
class Asker
{
public:
    enum class Answer
    {
        Yes,
        No
    };
    enum class Option
    {
        YesNo = 0x1,
        Information = 0x2,  ///< the box shows the information sign
        DefaultSecond = 0x4 ///< No is the default button
    };
    Q_DECLARE_FLAGS(Options, Option)

    virtual ~Asker() = default;
    /// An empty title shows the application's title.
    virtual Answer ask(const QString& prompt, Options options, const QString& title = QString()) = 0;
    /// Tells the user about a failure, with an OK button only.
    virtual void inform(const QString& text, const QString& title = QString()) = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Asker::Options)
