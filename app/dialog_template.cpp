#include "app/dialog_template.h"

#include <QBuffer>
#include <QDialog>
#include <QDialogButtonBox>
#include <QRect>
#include <QUiLoader>

#include "res/resources.h"
#include "skin/bk_button.h"
#include "skin/bk_progress_ctrl.h"
#include "skin/icon_button.h"

namespace {

// Creates the skinned controls by class name and puts the layout's root into the host.
class TemplateLoader : public QUiLoader {
public:
    explicit TemplateLoader(QDialog* host) : m_host(host) {}

    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (parent == nullptr && !m_rootTaken) {
            m_rootTaken = true;
            return m_host;
        }
        QWidget* widget = nullptr;
        if (className == QLatin1String("CBkButton")) {
            widget = new CBkButton(parent);
        } else if (className == QLatin1String("CIconButton")) {
            widget = new CIconButton(parent);
        } else if (className == QLatin1String("CBkProgressCtrl")) {
            widget = new CBkProgressCtrl(parent);
        } else {
            return QUiLoader::createWidget(className, parent, name);
        }
        widget->setObjectName(name);
        return widget;
    }

private:
    QDialog* m_host;
    bool m_rootTaken = false;
};

}  // namespace

bool LoadDialogTemplate(QDialog* host, int templateId) {
    QByteArray layout = res::DialogTemplate(templateId);
    if (layout.isEmpty()) {
        return false;
    }
    QBuffer buffer(&layout);
    buffer.open(QIODevice::ReadOnly);
    TemplateLoader loader(host);
    if (loader.load(&buffer, nullptr) != host) {
        return false;
    }
    // A layout's standard button box closes the dialog the usual way.
    for (QDialogButtonBox* box : host->findChildren<QDialogButtonBox*>()) {
        QObject::connect(box, &QDialogButtonBox::accepted, host, &QDialog::accept);
        QObject::connect(box, &QDialogButtonBox::rejected, host, &QDialog::reject);
    }
    return true;
}

void CentreOnWindow(QWidget* dialog, QWidget* over) {
    if (dialog == nullptr || over == nullptr) {
        return;
    }
    dialog->ensurePolished();
    QSize size = dialog->size().expandedTo(dialog->minimumSizeHint());
    QRect window = over->window()->frameGeometry();
    dialog->move(window.left() + (window.width() - size.width()) / 2,
                 window.top() + (window.height() - size.height()) / 2);
}
