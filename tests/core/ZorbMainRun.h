// The main window run in-process for a test: a sandboxed start, a scripted
// save dialog, and helpers to add and find accounts and to close.
#pragma once

#include "core/ZorbMain.h"

#include "ZorbSandbox.h"
#include "core/ZorbText.h"
#include "platform/system/Registry.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

namespace zorbel {

// A script step that types a password into the box and confirms it.
inline TModalScript::TStep Password(const QString &text)
{
    return [text](TForm &form) {
        TEdit *ed = FindControl<TEdit>(form, QStringLiteral("EdPas"));
        ASSERT_NE(ed, nullptr);
        EXPECT_GE(form.Width(), form.CaptionWidth()) << form.Caption().toStdString(); // the title is whole
        ed->SetText(text);
        form.SetModalResult(mrOk);
    };
}

inline QStringList Texts(const TModalScript &script)
{
    QStringList texts;
    for (const auto &seen : script.Seen())
        texts << QString(seen.Text.isEmpty() ? seen.Caption : seen.Text).replace(u'\n', u'\r');
    return texts;
}

class ZorbMainRun : public testing::Test {
protected:
    std::unique_ptr<TFormMain> Start(const QStringList &args = {})
    {
        auto form = std::make_unique<TFormMain>(args, box.Path("program"));
        form->ExecuteSaveDialog = [this](QString &name) {
            name = saveAs;
            return !saveAs.isEmpty();
        };
        return form;
    }
    static void AddAccount(TFormMain &f, const QString &name)
    {
        TTable &t = f.Dm->Tb_Account;
        t.Append();
        t.FieldByName("Account")->SetAsString(name);
        t.FieldByName("Currency")->SetAsString(U("руб"));
        t.Post();
    }
    static bool HasAccount(TFormMain &f, const QString &name)
    {
        return f.Dm->Tb_Account.Locate("Account", Variant(name), {});
    }
    // Starts again with File, answering its password box with Password, and
    // tells whether the data set holds the account; closes without saving.
    bool ReopenedHoldsAccount(const QString &File, const QString &Password, const QString &Account)
    {
        TModalScript open;
        open.Then(zorbel::Password(Password));
        auto f = Start({File});
        const bool holds = f->ReadyToRun() && HasAccount(*f, Account);
        f->mCloseNotSaveClick(f.get());
        EXPECT_TRUE(open.Finished()) << Texts(open).join(" | ").toStdString();
        return holds;
    }
    // Closes as the title bar would; true when the window agreed.
    static bool Close(TFormMain &f)
    {
        bool can = false;
        f.FormCloseQuery(&f, can);
        return can;
    }
    QString File(const QString &name) { return box.Path("files/" + name); }
    // The next start begins with a new data set.
    static void ForgetRecentFile()
    {
        TRegistry reg;
        if (reg.OpenKey(SettingsKey(), false)) {
            reg.WriteString("Recent_Catalog", QString());
            reg.CloseKey();
        }
    }
    // A data file holding the account "Кошелёк", protected by password; it
    // becomes the recent file. Made from a new data set.
    QString MakeDataFile(const QString &name, const QString &password)
    {
        ForgetRecentFile();
        TModalScript script;
        if (!password.isEmpty())
            script.Then(Password(password)).Then(Password(password)).Press("OK");
        script.Press("Yes");
        auto f = Start();
        AddAccount(*f, U("Кошелёк"));
        if (!password.isEmpty())
            f->mPasswordClick(f.get());
        saveAs = File(name);
        f->mSaveClick(f.get());
        saveAs.clear();
        EXPECT_TRUE(Close(*f));
        EXPECT_TRUE(script.Finished()) << Texts(script).join(" | ").toStdString();
        return File(name);
    }

    TSandbox box;
    QString saveAs; // what the save dialog answers; empty: cancelled
};

} // namespace zorbel
