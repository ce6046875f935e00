// The compose window's editor: what a mail item keeps of the HTML body it
// was given. Outlook keeps the body as a document in its Word-based editor
// and hands back HTML of the editor's own making ("Returns or sets a String
// representing the HTML body", MailItem.HTMLBody property; "When you send
// HTML from Outlook, the Outlook editor (Word), is getting involved, and
// will rewrite your code", PoliteMail, Writing Outlook Compatible HTML Code
// For Email Pages). The stand-in offers four editors, chosen per item:
//
//   Verbatim       the bytes written, as they were (no editor at all);
//   WordProcessor  a document of paragraphs and formatted runs, written out
//                  the way Word writes mail (editor.cpp says from where);
//   Html5Parser    html5lib's HTML5 parser, then its serialiser;
//   LibxmlParser   libxml2's HTML parser (through lxml), then libxml2's
//                  HTML writer.
//
// The two parsers are Debian's python3-html5lib and python3-lxml, run by
// /usr/bin/python3 with tools/editor_form.py (copied beside the programs):
// Wine starts Linux programs directly, and the two talk over a loopback
// socket.
#pragma once

#include <string>

namespace kshost {

enum class EditorKind { Verbatim, WordProcessor, Html5Parser, LibxmlParser };

// The form in which the editor hands back `written`. False when the editor
// could not run (a parser program missing or failing); LastEditorError()
// then says why, and `form` is left as it was.
bool EditorForm(EditorKind kind, const std::wstring& written, std::wstring& form);

// Why the last EditorForm that failed did so.
std::wstring LastEditorError();

// "verbatim", "word", "html5", "libxml", and back (false for another name).
const wchar_t* EditorName(EditorKind kind);
bool EditorFromName(const std::wstring& name, EditorKind& kind);

// The programs the parser editors start, as Linux paths; empty for the
// defaults (/usr/bin/python3, and editor_form.py beside this program).
void SetParserCommand(const std::wstring& interpreter, const std::wstring& script);

}  // namespace kshost
