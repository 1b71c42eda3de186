// What each input's reader left out, told to the user through the job's report: a file cut
// short (how much of it was joined) and damaged packets that were skipped.
#include <cstdio>

#include "engines/asf/wm_read_damage.h"
#include "job/join_host.h"
#include "job/join_report.h"
#include "platform/unicode.h"
#include "wmjoin/wm_joiner.h"

namespace {

std::string FileName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

double Seconds(QWORD units) {
    return static_cast<double>(units) / static_cast<double>(kWmOneSecond);
}

}  // namespace

void CWMJoiner::ReportInputDamage(int input) {
    const size_t index = static_cast<size_t>(input - 1);
    if (input < 1 || index >= m_readers.size() || m_readers[index] == nullptr ||
        index >= m_host.Inputs().size()) {
        return;
    }
    IKjReaderDamage* damage = nullptr;
    if (FAILED(m_readers[index]->QueryInterface(IID_IKjReaderDamage,
                                                reinterpret_cast<void**>(&damage)))) {
        return;  // a module that does not tell
    }
    KJ_READER_DAMAGE facts;
    HRESULT hr = damage->GetDamage(&facts);
    SafeRelease(damage);
    if (FAILED(hr)) {
        return;
    }
    const std::string name = FileName(m_host.Inputs()[index].path);
    char text[512];
    if (facts.cutShort != FALSE) {
        QWORD declared = 0;
        if (index < m_headerInfos.size() && m_headerInfos[index] != nullptr) {
            WORD stream = 0;
            WMT_ATTR_DATATYPE type = WMT_TYPE_QWORD;
            WORD length = sizeof declared;
            const std::wstring attribute = WideFromUtf8("Duration");
            if (FAILED(m_headerInfos[index]->GetAttributeByName(&stream, attribute.c_str(), &type,
                                                                reinterpret_cast<BYTE*>(&declared),
                                                                &length))) {
                declared = 0;
            }
        }
        const QWORD start = m_shifts[index];
        const QWORD joined = m_contentEnd > start ? m_contentEnd - start : 0;
        if (declared > joined) {
            std::snprintf(text, sizeof text,
                          "%s is cut short: its first %.1f s of %.1f s were joined.", name.c_str(),
                          Seconds(joined), Seconds(declared));
        } else {
            std::snprintf(text, sizeof text,
                          "%s is cut short: its first %.1f s were joined, up to its last whole "
                          "packet.",
                          name.c_str(), Seconds(joined));
        }
        ReportInputWarning(index, text);
    }
    if (facts.damagedPackets > 0) {
        std::snprintf(text, sizeof text, "%s: %llu damaged packet%s skipped.", name.c_str(),
                      static_cast<unsigned long long>(facts.damagedPackets),
                      facts.damagedPackets == 1 ? " was" : "s were");
        ReportInputWarning(index, text);
    }
}
