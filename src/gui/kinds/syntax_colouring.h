// Colouring of script text in the syntax-colouring editor: comments, literals, labels, numbers.
#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace morivel::gui {

// Colours a document line by line the way the preprocessor reads it: a brace or block comment,
// a double-quoted or back-quoted string and a here-document run on across lines, so the state
// at the end of a line is carried into the next.
class ScriptHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit ScriptHighlighter(QTextDocument* document);

  const QTextCharFormat& CommentFormat() const { return comment_; }
  const QTextCharFormat& StringFormat() const { return string_; }
  const QTextCharFormat& LabelFormat() const { return label_; }
  const QTextCharFormat& NumberFormat() const { return number_; }

 protected:
  void highlightBlock(const QString& line) override;

 private:
  QTextCharFormat comment_, string_, label_, number_;
};

}  // namespace morivel::gui
