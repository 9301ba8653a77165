#include "lang/languagedialog.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPixmap>
#include <algorithm>

#include "platform/modal_qt.h"

namespace pz {

namespace {
constexpr int kFirstY = 10;
constexpr int kRowStep = 40;

// Whether a language file's display name ("Deutsch", "English") names the language of the
// user's locale, in that language's own name or in English.
bool NamesLocaleLanguage(const QString& name) {
  const QLocale::Language language = QLocale().language();
  if (language == QLocale::C || language == QLocale::AnyLanguage) return false;
  return name.compare(QLocale(language).nativeLanguageName(), Qt::CaseInsensitive) == 0 ||
         name.compare(QLocale::languageToString(language), Qt::CaseInsensitive) == 0;
}
}  // namespace

TLanguageDialog::TLanguageDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("TLanguageDialog");
  setFixedSize(318, 349);
  QFont f("Arial");
  f.setPixelSize(11);
  f.setBold(true);
  setFont(f);
  setWindowTitle(QString::fromUtf8("Sprache w\xC3\xA4hlen"));

  scrollBox_ = new QScrollArea(this);
  scrollBox_->setObjectName("ScrollBox");
  scrollBox_->setGeometry(10, 10, 300, 300);
  contents_ = new QWidget;
  contents_->setObjectName("ScrollContents");
  scrollBox_->setWidget(contents_);

  buttonOK_ = new QPushButton("OK", this);
  buttonOK_->setObjectName("ButtonOK");
  buttonOK_->setGeometry(59, 315, 95, 30);
  buttonOK_->setDefault(true);
  connect(buttonOK_, &QPushButton::clicked, this, &QDialog::accept);

  buttonCancel_ = new QPushButton("Abbruch", this);
  buttonCancel_->setObjectName("ButtonCancel");
  buttonCancel_->setGeometry(164, 315, 95, 30);
  connect(buttonCancel_, &QPushButton::clicked, this, &QDialog::reject);

  FormCreate();
}

void TLanguageDialog::FormCreate() {
  entries_.clear();
  selectedFile_.clear();
}

void TLanguageDialog::SetDialogLanguage(TLangDialog language) {
  if (language == TLangDialog::English) {
    setWindowTitle("Choose language");
    buttonOK_->setText("OK");
    buttonCancel_->setText("Cancel");
  } else {
    setWindowTitle(QString::fromUtf8("Sprache w\xC3\xA4hlen"));
    buttonOK_->setText("OK");
    buttonCancel_->setText("Abbruch");
  }
}

void TLanguageDialog::BuildScreen(const QString& folder, const QString& currentName) {
  QDir dir(folder);
  const QStringList files = dir.entryList({"*.lng"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
  int y = kFirstY;
  for (const QString& file : files) {
    TLanguageEntry entry;
    entry.Flag = new QLabel(contents_);
    entry.Flag->setGeometry(10, y, 32, 24);
    const QString flag = dir.filePath(QFileInfo(file).completeBaseName() + ".bmp");
    if (QFileInfo::exists(flag)) entry.Flag->setPixmap(QPixmap(flag));

    const QString name = QString::fromStdString(ReadLanguageName(dir.filePath(file).toStdString()));
    entry.Button = new QRadioButton(name, contents_);
    entry.Button->setGeometry(50, y, 240, 24);
    entry.LanguageFile = file;
    if (name.toUpper() == currentName.toUpper()) {
      entry.Button->setChecked(true);
      selectedFile_ = file;
    }
    connect(entry.Button, &QRadioButton::clicked, this, &TLanguageDialog::RadioButtonClick);
    entries_.push_back(entry);
    y += kRowStep;
  }
  contents_->resize(290, std::max(y, 290));
  // Nothing loaded yet (the first start): the locale's language, else the first entry.
  if (!entries_.empty() && currentName.isEmpty()) {
    const auto locale = std::find_if(entries_.begin(), entries_.end(), [](const auto& e) {
      return NamesLocaleLanguage(e.Button->text());
    });
    const TLanguageEntry& chosen = locale != entries_.end() ? *locale : entries_.front();
    chosen.Button->setChecked(true);
    selectedFile_ = chosen.LanguageFile;
  }
}

void TLanguageDialog::RadioButtonClick() {
  for (const auto& e : entries_) {
    if (e.Button->isChecked()) {
      selectedFile_ = e.LanguageFile;
      return;
    }
  }
}

bool RunLanguageDialog(TPXLanguage& language, QWidget* parent) {
  TLanguageDialog dialog(parent);
  dialog.SetDialogLanguage(language.LanguageOfDialog());
  dialog.BuildScreen(QString::fromStdString(language.Path()),
                     QString::fromStdString(language.LanguageName()));
  // Centred on the screen, not over the main window.
  if (RunModal(dialog) != QDialog::Accepted) return false;
  language.SetFileNameUnchecked(dialog.SelectedFile().toStdString());
  language.LoadFile();
  return true;
}

}  // namespace pz
