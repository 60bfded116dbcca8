#include "LogParseWorker.h"

#include "logfile/LogFile.h"
#include "logfile/MatExport.h"

#include <QLoggingCategory>

#include <fstream>
#include <iostream>

Q_LOGGING_CATEGORY(lcLogParseWorker, "Staging.LogParseWorker")

namespace {

const char *const Malformed = "Log file is malformed";

} // namespace

LogParseWorker::LogParseWorker(QObject *parent)
    : QObject(parent)
{ }

void LogParseWorker::cancel()
{
    m_cancel.store(true);
}

void LogParseWorker::parseLog(const QUrl &fileUrl, const QUrl &outputLocation)
{
    if (!fileUrl.isLocalFile()) {
        const QString message = QStringLiteral(
            "file is not local to this machine, network locations not supported at the moment");
        qCDebug(lcLogParseWorker).noquote() << message;
        emit finished(false, message);
        return;
    }
    m_filePath = fileUrl.toLocalFile().toLocal8Bit();
    std::ifstream stream(m_filePath.constData(), std::ios::binary);
    if (!stream.is_open()) {
        const QString message = QStringLiteral("failed to open parsefile");
        qCDebug(lcLogParseWorker).noquote() << message;
        emit finished(false, message);
        return;
    }

    auto report = [this](ConversionStage stage, float progress) {
        switch (stage) {
        case ConversionReadingRecords:
            emit progressChanged(stage, progress * 0.5f);
            break;
        case ConversionBuildingVariables:
            emit progressChanged(stage, 0.5f + progress * 0.25f);
            break;
        case ConversionWritingVariables:
            emit progressChanged(stage, 0.75f + progress * 0.25f);
            break;
        default:
            break;
        }
    };

    try {
        const logfile::LogFile file(stream);
        logfile::exportToMat(outputLocation.toLocalFile().toLocal8Bit().toStdString(), file, report,
                             &m_cancel);
        emit finished(true, {});
    } catch (const FileFormatException &e) {
        qCDebug(lcLogParseWorker) << Malformed << "-" << e.what();
        emit progressChanged(ConversionWritingVariables, 1.0f);
        emit finished(false, QString::fromLatin1(Malformed));
    } catch (const logfile::ConversionCancelled &e) {
        emit finished(false, QString::fromLatin1(e.what()));
    } catch (const std::ios_base::failure &e) {
        std::cerr << "Reading error: " << e.what() << std::endl;
        emit finished(false, QStringLiteral("Reading error: ") + QString::fromLocal8Bit(e.what()));
    } catch (const std::exception &e) {
        std::cerr << "Parsing error: " << e.what() << std::endl;
        emit finished(false, QStringLiteral("Parsing error: ") + QString::fromLocal8Bit(e.what()));
    }
}
