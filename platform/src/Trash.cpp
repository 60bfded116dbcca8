#include "Trash.h"

#include <QFile>

namespace platform {

namespace {

class SystemTrash final : public Trash
{
public:
    bool moveToTrash(const QString &path, QString *error) override
    {
        QFile file(path);
        if (file.moveToTrash())
            return true;
        if (error)
            *error = file.errorString();
        return false;
    }
};

} // namespace

Trash::~Trash() = default;

Trash *Trash::system()
{
    static SystemTrash trash;
    return &trash;
}

} // namespace platform
