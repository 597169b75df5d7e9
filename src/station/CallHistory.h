#pragma once
// Calls as the journal keeps them and as the operator reads them: the journal row of a call
// that just ended, and the short texts of a call's result.

#include "journal/Journal.h"
#include "link/CallSummary.h"

#include <QLocale>
#include <QString>

namespace dialvane {

journal::Entry journalEntry(const CallSummary& call);

// What the call did, from the restaurant's side: "sent itrfinv1: 2,000 records",
// "fetched 3 files: 1,200 records", "fetch failed: Cannot open ...", "dropped".
QString callResult(const journal::Entry& call, const QLocale& locale);
// "10:44 000123 sent itrfinv1: 2,000 records", for the line under the restaurant list.
QString lastCallLine(const journal::Entry& call, const QLocale& locale);

} // namespace dialvane
