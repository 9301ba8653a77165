// Documents of the awards screen: loading a text or rich-text file into a text view, and
// printing a view's document.
#pragma once

#include <QString>

class QPrinter;
class QTextDocument;
class QTextEdit;

namespace pz {

// Files larger than this are not loaded: a description text is a few kilobytes.
inline constexpr qint64 kMaxDocumentBytes = 16 * 1024 * 1024;

// What the view shows of a document at most. Laying out more keeps the window busy for long (a
// megabyte in one line, millions of empty paragraphs); a description is a few kilobytes.
inline constexpr int kMaxShownLines = 2000;      // lines of text, paragraphs of rich text
inline constexpr int kMaxShownChars = 100000;    // characters of text
inline constexpr int kMaxLineChars = 10000;      // characters of one line or paragraph
inline constexpr qint64 kMaxRtfBytes = 1 << 20;  // of rich text read, before it is parsed

// Loads the file into the view: rich text (RTF) formatted, anything else as plain 8-bit or
// UTF-8 text. A longer document is cut, with a note in the language of the code letter ("D"
// German, else English) at its end. False, with the view left empty, when the file cannot be
// read.
bool LoadDocument(QTextEdit& view, const QString& path, const QString& letter = "E");
// The note at the end of a document that was cut.
QString DocumentCutNote(const QString& letter);

enum class PrintResult { Printed, NoPrinter, Failed };

// Prints the whole document on the default printer with the title as the job name.
PrintResult PrintDocument(const QTextDocument& doc, const QString& title);
// The same on a given printer (tests print into a PDF file).
PrintResult PrintDocument(const QTextDocument& doc, const QString& title, QPrinter& printer);
// What the viewer says when printing did not happen, German for the letter "D", else English.
QString PrintMessage(PrintResult result, const QString& letter);

}  // namespace pz
