#pragma once

#include "protocol/replyreading.h"

#include <QtGlobal>

#include <array>
#include <vector>

namespace koru {

// One row of a query's replies: the digits the projector sends (before its
// CR), what they read as, and the words the STATUS line shows for them
// (leading blank included).
struct ReplyRow
{
    const char *digits;
    Reading reading;
    const char16_t *words;
};

// The replies of one query. The lamp time has no rows: its reply is four
// digits, shown as they are and followed by `words`.
struct QueryReplies
{
    const char *code;     // the query's code; the frame is the code and a CR
    qsizetype digits;     // how many digits a reply has
    std::vector<ReplyRow> rows;
    const char16_t *words = nullptr; // the lamp time's closing words
};

// The four queries and every reply they can read, once: the typed reading
// and the STATUS line's decoding are both derived from it.
const std::array<QueryReplies, 4> &queryReplies();

// The table of `code`, or nullptr when it is no query.
const QueryReplies *queryRepliesOf(QByteArrayView code);

} // namespace koru
