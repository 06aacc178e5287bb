// What the page-text index adds to SQLite's FTS5 on each connection:
//
// - the tokenizer "tessaly": unicode61 (case and diacritics folded) for
//   alphabetic scripts, and each Chinese, Japanese or Korean character a
//   token of its own (see IsCjk), so that a word of several such characters
//   is found as a phrase of adjacent characters, wherever it stands in a
//   run of text written without spaces; a word split at an apostrophe is
//   also stored joined (you've: you, ve and youve);
// - the auxiliary function hits(pages): the number of matches of the
//   query's phrases in the row;
// - the auxiliary function excerpt(pages, open, close, ellipsis, words):
//   a few words of the body around its matches, the matches marked,
//   tokenizing the text only up to the end of the excerpt;
// - the function name_keys(text): each line of the text as the tokens it
//   is indexed as, "\nkey one\nkey two\n", so that names compare as the
//   search compares words (case and diacritics folded, punctuation
//   dropped).
#pragma once

#include <sqlite3.h>

namespace tessaly::textindex {

// Registers them on the connection. Raises TextIndexError when FTS5 is
// missing.
void RegisterFts5Extensions(sqlite3* db);

}  // namespace tessaly::textindex
