#pragma once

#include "spool/PrintOuts.h"

/// What the list of print-outs asks of the engine, which runs on a thread of its own. Each call
/// returns at once; the answer comes back as a signal of the engine, between two batches.
class PrintOutControl
{
public:
    virtual ~PrintOutControl() = default;
    /// Asks for the print-outs that wait; the engine answers with the whole list.
    virtual void requestPrintOuts() = 0;
    /// Asks for @p action on @p name; the engine answers with @p ticket, then the list anew.
    virtual void requestAction(PrintOuts::Action action, const QString& name, quint64 ticket) = 0;
};
