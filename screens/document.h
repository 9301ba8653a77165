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

// Loads the file into the view: rich text (RTF) formatted, anything else as plain 8-bit or
// UTF-8 text. False, with the view left empty, when the file cannot be read.
bool LoadDocument(QTextEdit& view, const QString& path);

enum class PrintResult { Printed, NoPrinter, Failed };

// Prints the whole document on the default printer with the title as the job name.
PrintResult PrintDocument(const QTextDocument& doc, const QString& title);
// The same on a given printer (tests print into a PDF file).
PrintResult PrintDocument(const QTextDocument& doc, const QString& title, QPrinter& printer);

}  // namespace pz
