// Bounded building of message formats, shared by the operations' reporter
// and the core messenger.
//
// Messages reach the host as a printf-style format with its arguments. When
// the library builds a longer format around a caller's one (a labelled value
// line) or hands over text it has already formatted, that text must not be
// read as conversions: every '%' in it is doubled. All buffers are fixed;
// everything here truncates instead of overflowing.
#ifndef SURFACE_FRAME_MESSAGE_LAYOUT_H
#define SURFACE_FRAME_MESSAGE_LAYOUT_H

#include <cstddef>

// Longest part of a caller's format used after a label.
constexpr std::size_t kLayoutFormatLimit = 128;

// Appends `text` to the format in out[0..size) (NUL-terminated, `*length`
// characters so far) with every '%' doubled; stops before a character that
// does not fit whole.
void Layout_AppendLiteral(char* out, std::size_t size, std::size_t* length, const char* text);

// Appends at most `limit` characters of `format`, dropping a conversion that
// the cut would leave incomplete.
void Layout_AppendFormat(char* out, std::size_t size, std::size_t* length, const char* format, std::size_t limit);

// The printed label part of a labelled line: the label, a colon directly
// after it, blanks up to and including column valueColumn - 1; a label that
// reaches the value column is cut there (and loses its colon). Writes
// valueColumn characters and a NUL to out (room for valueColumn + 1).
void Layout_LabelColumns(char* out, const char* label, std::size_t valueColumn);

// A labelled format: the label part (as a literal) followed by at most
// kLayoutFormatLimit characters of the caller's format.
void Layout_LabelledFormat(char* out, std::size_t size, const char* label, std::size_t valueColumn, const char* format);

#endif
