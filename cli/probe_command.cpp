#include "cli/probe_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/arguments.h"
#include "job/kind_table.h"
#include "mcljoin/mcl_api.h"
#include "platform/bytes.h"
#include "platform/module.h"
#include "probe/detect_file_type.h"
#include "probe/probe_media_file.h"
#include "probe/row_texts.h"

namespace {

QJsonObject RecordJson(const MediaFileInfo& info) {
    QJsonObject o;
    o[QStringLiteral("path")] = QString::fromStdString(info.m_strPath);
    o[QStringLiteral("hasAudio")] = info.m_bHasAudio != 0;
    o[QStringLiteral("audioOnly")] = info.IsAudioOnly();
    o[QStringLiteral("width")] = info.m_nWidth;
    o[QStringLiteral("height")] = info.m_nHeight;
    o[QStringLiteral("kind")] = info.m_nKind;
    o[QStringLiteral("kindText")] = QString::fromStdString(MediaKindText(info.m_nKind));
    o[QStringLiteral("fileSize")] = info.m_fFileSize;
    o[QStringLiteral("frameRate")] = static_cast<double>(info.m_fFrameRate);
    o[QStringLiteral("frameCount")] = info.m_nFrameCount;
    o[QStringLiteral("duration")] = static_cast<double>(info.m_fDuration);
    o[QStringLiteral("audioRate")] = static_cast<double>(info.m_fAudioRate);
    o[QStringLiteral("videoCodec")] = QString::fromStdString(info.m_strVideoCodec);
    o[QStringLiteral("audioCodec")] = QString::fromStdString(info.m_strAudioCodec);
    o[QStringLiteral("fourcc")] = QString::fromStdString(FourccText(info.m_dwFourcc));
    o[QStringLiteral("infoLine")] = QString::fromStdString(info.FormatInfoLine());
    const CutShortFinding& cut = info.m_cutShort;
    if (cut.cutShort) {
        QJsonObject c;
        c[QStringLiteral("text")] = QString::fromStdString(CutShortText(cut));
        c[QStringLiteral("readableSeconds")] =
            cut.readableSeconds >= 0 ? QJsonValue(cut.readableSeconds) : QJsonValue();
        c[QStringLiteral("promisedSeconds")] =
            cut.promisedSeconds >= 0 ? QJsonValue(cut.promisedSeconds) : QJsonValue();
        c[QStringLiteral("indexMissing")] = cut.indexMissing;
        o[QStringLiteral("cutShort")] = c;
    } else {
        o[QStringLiteral("cutShort")] = QJsonValue();
    }
    return o;
}

void PrintRecord(const MediaFileInfo& info, FILE* out) {
    std::fprintf(out, "%s\n", info.m_strPath.c_str());
    std::fprintf(out, "  Width/Height:  %s\n", GeometryText(info).c_str());
    std::fprintf(out, "  Type:          %s\n", MediaKindText(info.m_nKind).c_str());
    std::fprintf(out, "  Freq.:         %s\n", DurationText(info).c_str());
    std::fprintf(out, "  File Size(KB): %s\n", SizeText(info).c_str());
    std::fprintf(out, "  %s\n", info.FormatInfoLine().c_str());
    if (info.m_cutShort.cutShort) {
        std::fprintf(out, "  %s\n", CutShortText(info.m_cutShort).c_str());
    }
}

}  // namespace

void ProbeModules::PrepareFor(const std::string& path) {
    if (m_conversion != nullptr) {
        return;
    }
    const KindRow* row = FindKindReading(DetectFileType(path));
    if (row != nullptr) {
        PrepareForKind(row->kind);
    }
}

void ProbeModules::PrepareForKind(MediaKind kind) {
    const KindRow* row = FindKind(kind);
    if (m_conversion == nullptr && row != nullptr && row->usesConversionModule) {
        m_conversion = Module::Load("zivuvore");
        LoadMclApi(m_conversion.get());
    }
}

ProbeModules::~ProbeModules() {
    if (m_conversion != nullptr) {
        LoadMclApi(nullptr);
    }
}

int RunProbeCommand(const QStringList& arguments, FILE* out, FILE* err) {
    bool json = false;
    QStringList files;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        switch (RoleOf(argument, optionsEnded)) {
            case ArgumentRole::kEndOfOptions:
                break;
            case ArgumentRole::kOption:
                if (argument != QLatin1String("--json")) {
                    std::fprintf(err, "kjoin: unknown option %s (kjoin probe --help)\n",
                                 qPrintable(argument));
                    return 1;
                }
                json = true;
                break;
            case ArgumentRole::kFile:
                files << argument;
                break;
        }
    }
    if (files.isEmpty()) {
        std::fprintf(err, "kjoin: name at least one file (kjoin probe --help)\n");
        return 1;
    }
    ProbeModules modules;
    int status = 0;
    QJsonArray results;
    for (const QString& file : files) {
        modules.PrepareFor(file.toStdString());
        ProbeError error;
        std::unique_ptr<MediaFileInfo> record = ProbeMediaFile(file.toStdString(), &error);
        if (record == nullptr) {
            status = 1;
            if (json) {
                QJsonObject o;
                o[QStringLiteral("path")] = file;
                o[QStringLiteral("error")] = QString::fromStdString(error.reason);
                results.append(o);
            } else {
                std::fprintf(err, "kjoin: %s: %s\n", qPrintable(file), error.reason.c_str());
            }
            continue;
        }
        if (!error.notice.empty()) {
            std::fprintf(err, "kjoin: %s: %s\n", qPrintable(file), error.notice.c_str());
        }
        if (json) {
            results.append(RecordJson(*record));
        } else {
            PrintRecord(*record, out);
        }
    }
    if (json) {
        std::fputs(QJsonDocument(results).toJson(QJsonDocument::Indented).constData(), out);
    }
    return status;
}
