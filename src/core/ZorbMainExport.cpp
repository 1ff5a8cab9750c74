// Saving any grid of the program to a comma, text or spreadsheet file: the
// grid is described for the window-free writers, the user picks the file.
#include "core/TulnDlg.h"
#include "platform/system/SysPaths.h"
#include "core/ZorbGridExport.h"
#include "core/ZorbMain.h"
#include "core/ZorbText.h"
#include "platform/canvas/Graphics.h"
#include "platform/dataset/DataSet.h"
#include "platform/widgets/DBGrids.h"

#include <QFileDialog>
#include <QFileInfo>

namespace zorbel {

namespace {

uint32_t Rgb(TColor color, TColor fallback)
{
    if (color == clNone)
        return 0;
    if (color == clDefault)
        color = fallback;
    const QColor c = ColorToQColor(color);
    return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

TGridExportFont ExportFont(const QFont &font, TColor color)
{
    TGridExportFont f;
    f.Name = font.family();
    f.Size = font.pointSize() > 0 ? font.pointSize() : 10;
    f.Bold = font.bold();
    f.Italic = font.italic();
    f.Underline = font.underline();
    f.StrikeOut = font.strikeOut();
    f.Color = Rgb(color, clWindowText);
    return f;
}

} // namespace

TGridExportLayout GridExportLayout(TDBGrid *Grid)
{
    TGridExportLayout layout;
    for (int i = 0; i < Grid->Columns().Count(); ++i) {
        TColumn *column = Grid->Columns()[i];
        TGridExportColumn c;
        c.Visible = column->Visible();
        c.Title = column->TitleCaption();
        c.FieldName = column->FieldName();
        c.Field = column->Field();
        c.Align = column->Alignment() == TAlignment::taRightJustify ? TExportAlign::Right
                  : column->Alignment() == TAlignment::taCenter     ? TExportAlign::Center
                                                                     : TExportAlign::Left;
        c.Width = column->Width();
        layout.Columns.push_back(c);
    }
    layout.Font = ExportFont(Grid->Font(), Grid->FontColor());
    layout.TitleFont = ExportFont(Grid->TitleFont(), Grid->TitleFontColor());
    layout.Color = Rgb(Grid->Color(), clWindow);
    layout.FixedColor = Rgb(clBtnFace, clBtnFace);
    layout.FrameColor = Rgb(clSystemColor | 6, clSystemColor | 6);
    layout.WindowColor = Rgb(clWindow, clWindow);
    return layout;
}

void TFormMain::BuildExportCommands()
{
    // The reference pages wire their own save items.
    mpHistSave->OnClick = [this](TObject *) { SaveGridToFile(DBG); };
}

void TFormMain::SaveGridToFile(TDBGrid *Grid)
{
    TDataSource *source = Grid ? Grid->DataSource() : nullptr;
    TDataSet *data = source ? source->DataSet() : nullptr;
    if (!data || !data->Active() || data->IsEmpty())
        return;
    QString folder = SaveDir.isEmpty() ? AbsoluteFolderOf(DataFileName()) : SaveDir;
    QString name = folder;
    int type = 1; // 1 comma, 2 text, 3 spreadsheet
    if (ExecuteExportDialog) {
        if (!ExecuteExportDialog(name, type))
            return;
    } else {
        const QStringList filters = {QStringLiteral("Comma files (*.csv)"), QStringLiteral("Text files (*.txt)"),
                                     QStringLiteral("Excel files (*.xls)")};
        QString chosen;
        name = QFileDialog::getSaveFileName(this, U("Сохранение в файл %1")
                                                      .arg(CountText(data->RecordCount(), U("строки"), U("строк"),
                                                                     U("строк"))),
                                            ShownName(folder), filters.join(QStringLiteral(";;")), &chosen);
        name = ReachableDialogName(name);
        if (name.isEmpty())
            return;
        type = int(filters.indexOf(chosen)) + 1;
        if (type < 1)
            type = 1;
        static const char *const suffixes[] = {".csv", ".txt", ".xls"};
        if (QFileInfo(name).suffix().isEmpty())
            name += QLatin1String(suffixes[type - 1]);
    }
    SaveDir = AbsoluteFolderOf(name);
    Repaint();
    const TGridExportLayout layout = GridExportLayout(Grid);
    QString error;
    Screen().SetCursor(crHourGlass);
    bool ok = false;
    try {
        ok = type == 3 ? ExportGridToXls(data, layout, name, &error)
                       : SaveGridDelimited(data, layout, ExportSeparator(CSV), name, &error);
    } catch (...) {
        Screen().SetCursor(crDefault);
        throw;
    }
    Screen().SetCursor(crDefault);
    // A file that could not be written is reported, the spreadsheet's as
    // well as a comma file's: a silent failure would leave the user taking
    // a missing or old file for the saved rows.
    if (!ok && !error.isEmpty())
        ShowNotice(error, false);
}

} // namespace zorbel
