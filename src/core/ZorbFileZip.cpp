// The data file's zip component (TDataZip, see ZorbFile.h). Kept apart from
// the units that show windows, as the archive and the window layer both name
// the dialog results.
#include "archive/ZipWriter.h"
#include "core/ZorbDm.h"
#include "core/ZorbFile.h"
#include "platform/system/SysEnv.h"

#include <QFile>
#include <QFileInfo>

namespace zorbel {

TDataZip::TDataZip() : zip_(std::make_unique<TZipWriter>())
{
    TZipWriter &z = *zip_;
    z.SetOverwriteMode(TUZOverwriteMode::Always);
    z.SetDoAll(true);
    z.SetDoProcessMessages(false);
    z.SetRetainAttributes(false);
    z.SetPackLevel(1);
    z.SetZipAction(TZipAction::zaReplace);
    z.ExcludeList() = QStringList{QStringLiteral("*.lck"), QStringLiteral("*.ini")};
    z.OnBadPassword = [this](TZipReader *, int FileIndex, QString &NewPassword) {
        if (OnBadPassword)
            OnBadPassword(FileIndex, NewPassword);
    };
}

TDataZip::~TDataZip() = default;

void TDataZip::Reset()
{
    zip_->SetZipName(QString());
    zip_->CloseArchive();
    zip_->SetSourceStream(nullptr);
    zip_->SetKeepZipOpen(false);
    zip_->SetDoProcessMessages(false);
    zip_->SetPassword(QString());
    zip_->FilesList().Clear();
}

void TDataZip::ReadDirectory(const QString &ZipName)
{
    zip_->SetZipName(ZipName);
    zip_->ReadDirectory();
}

int TDataZip::Count() const { return zip_->Count(); }

bool TDataZip::IsEntryEncrypted(int Index) const { return zip_->IsEntryEncrypted(Index); }

const QString &TDataZip::Password() const { return zip_->Password(); }

void TDataZip::SetPassword(const QString &Password) { zip_->SetPassword(Password); }

int TDataZip::ExtractAll(const QString &DestDir, int &Skipped)
{
    Skipped = 0;
    zip_->OnSkippingFile = [&Skipped](TZipReader *, TSkipReason, const QString &, int) { ++Skipped; };
    zip_->SetDestDir(DestDir);
    zip_->SetRootDir(DestDir);
    zip_->FilesList().Clear();
    int n = 0;
    try {
        n = zip_->ExtractFiles();
    } catch (const Exception &) {
        n = 0;
    }
    zip_->OnSkippingFile = nullptr;
    return n;
}

int TDataZip::ExtractTemplate(const QString &DestDir)
{
    Reset();
    zip_->SetDestDir(DestDir);
    zip_->SetRootDir(DestDir);
    const int n = TDm::ExtractTemplate(*zip_);
    zip_->SetSourceStream(nullptr);
    return n;
}

int TDataZip::PackFolder(const QString &Folder, const QString &Archive, const QString &Password)
{
    TSysEnv::Remove(Archive);
    if (QFileInfo::exists(Archive))
        return 0;
    int n = 0;
    try {
        Reset();
        zip_->SetRootDir(Folder);
        zip_->SetZipName(Archive);
        zip_->SetPassword(Password);
        zip_->FilesList().Add(QStringLiteral("*"));
        n = zip_->CompressFiles();
        // What was written must read back whole.
        zip_->SetZipName(QString());
        zip_->SetZipName(Archive);
        zip_->ReadDirectory();
        if (zip_->Count() != n)
            n = 0;
    } catch (const std::exception &) {
        n = 0;
    }
    Reset();
    if (n <= 0)
        TSysEnv::Remove(Archive);
    return n;
}

} // namespace zorbel
