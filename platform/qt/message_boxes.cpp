#include "platform/qt/message_boxes.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace kartiva::qt {
namespace {

QMessageBox::Icon IconOf(Icon icon) {
  switch (icon) {
    case Icon::Critical:
      return QMessageBox::Critical;
    case Icon::Question:
      return QMessageBox::Question;
    case Icon::Exclamation:
      return QMessageBox::Warning;
    case Icon::Information:
      return QMessageBox::Information;
    case Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString QtFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    // The patterns that the description shows in parentheses are written by Qt instead.
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (description.endsWith(QLatin1Char(')')) && open > 0) {
      description = description.left(open).trimmed();
    }
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    // "*.*" is every file on Windows, but only names with a dot for Qt.
    for (QString& pattern : patterns) {
      pattern = pattern.trimmed();
      if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
    }
    filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}

Answer ShowMessageBox(const MsgBoxRequest& box, const AnswerWords& answers) {
  QMessageBox dialog(IconOf(box.icon), QString::fromStdString(box.title),
                     QString::fromStdString(box.text));
  dialog.setTextFormat(Qt::PlainText);
  if (box.buttons == Buttons::YesNo) {
    dialog.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    dialog.button(QMessageBox::Yes)->setText(QString::fromUtf8(answers.yes));
    dialog.button(QMessageBox::No)->setText(QString::fromUtf8(answers.no));
    dialog.setDefaultButton(QMessageBox::Yes);
    dialog.setEscapeButton(QMessageBox::No);
    return dialog.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
  }
  dialog.setStandardButtons(QMessageBox::Ok);
  // "OK" in both languages, also where a translation would say otherwise.
  dialog.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
  dialog.setDefaultButton(QMessageBox::Ok);
  dialog.exec();
  return Answer::Ok;
}

void ShowOpenDialog(FileDialog& dialog) {
  // File names in the file system's encoding, so that a path reaches the toolkit unchanged.
  const QString folder = QFile::decodeName(QByteArray::fromStdString(dialog.initialFolder));
  const QString chosen =
      QFileDialog::getOpenFileName(nullptr, QString(), folder, QtFilter(dialog.filter));
  if (!chosen.isEmpty()) dialog.fileName = QFile::encodeName(chosen).toStdString();
}

}  // namespace kartiva::qt
