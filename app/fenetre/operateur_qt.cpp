#include "app/fenetre/operateur_qt.h"
#include "app/fenetre/texte_qt.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace {

QMessageBox::Icon icone(Icon icon)
{
    switch (icon) {
    case Icon::Exclamation:
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Question:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

QString QtOperator::filtre_qt(const std::string& filter)
{
    const QStringList parts = QString::fromUtf8(filter.c_str()).split(QLatin1Char('|'));
    QStringList filtres;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filtres << parts[i].trimmed() + QStringLiteral(" (") +
                       parts[i + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
    return filtres.join(QStringLiteral(";;"));
}

QString QtOperator::texte_boite(const std::string& text)
{
    QString t = QString::fromUtf8(text.c_str());
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (t.endsWith(QLatin1Char('\n')) || t.endsWith(QLatin1Char('\r')))
        t.chop(1);
    return t;
}

QWidget* QtOperator::parent() const { return fenetre_; }

void QtOperator::applique() const
{
    if (applique_)
        applique_();
}

void QtOperator::message_box(const std::string& text, const std::string& caption, Icon icon)
{
    applique(); // the pane shows the message before the box does
    QMessageBox box(icone(icon), QString::fromUtf8(caption.c_str()), texte_boite(text), QMessageBox::Ok, parent());
    box.exec();
}

bool QtOperator::ask_yes_no(const std::string& text, const std::string& caption, Icon icon)
{
    applique();
    QMessageBox box(icone(icon), QString::fromUtf8(caption.c_str()), texte_boite(text),
                    QMessageBox::Yes | QMessageBox::No, parent());
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Non"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool QtOperator::choix_fichier(const std::string& filter, bool sauver, std::string& path)
{
    applique();
    QFileDialog dlg(parent());
    dlg.setAcceptMode(sauver ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(sauver ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setNameFilter(filtre_qt(filter));
    // Like the original dialogs, a name typed without extension gets the
    // filter's one.
    const QString f = filtre_qt(filter);
    const int point = f.indexOf(QStringLiteral("*."));
    if (sauver && point >= 0)
        dlg.setDefaultSuffix(f.mid(point + 2).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(' '), 0, 0));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    path = utf8(QDir::toNativeSeparators(dlg.selectedFiles().first()));
    return true;
}

bool QtOperator::choose_save_file(const std::string& filter, std::string& path)
{
    return choix_fichier(filter, true, path);
}

bool QtOperator::choose_open_file(const std::string& filter, std::string& path)
{
    return choix_fichier(filter, false, path);
}

bool QtOperator::choose_folder(const std::string& start, std::string& path)
{
    applique();
    QFileDialog dlg(parent());
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly, true);
    if (!start.empty())
        dlg.setDirectory(QString::fromUtf8(start.c_str()));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    path = utf8(QDir::toNativeSeparators(dlg.selectedFiles().first()));
    return true;
}

void QtOperator::pump_events()
{
    if (pompe_)
        pompe_();
    else
        QCoreApplication::processEvents();
}
