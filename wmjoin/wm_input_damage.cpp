// What each input's reader left out, told to the user through the job's report: a file cut
// short (how much of it was joined) and damaged packets that were skipped.
#include "engines/asf/wm_read_damage.h"
#include "job/join_host.h"
#include "job/join_report.h"
#include "platform/unicode.h"
#include "wmjoin/wm_joiner.h"

namespace {

double Seconds(QWORD units) {
    return static_cast<double>(units) / static_cast<double>(kWmOneSecond);
}

}  // namespace

bool CWMJoiner::InputCutShort(int input) {
    const size_t index = static_cast<size_t>(input - 1);
    IKjReaderDamage* damage = nullptr;
    if (input < 1 || index >= m_readers.size() || m_readers[index] == nullptr ||
        FAILED(m_readers[index]->QueryInterface(IID_IKjReaderDamage,
                                                reinterpret_cast<void**>(&damage)))) {
        return false;
    }
    KJ_READER_DAMAGE facts;
    HRESULT hr = damage->GetDamage(&facts);
    SafeRelease(damage);
    return SUCCEEDED(hr) && facts.cutShort != FALSE;
}

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
    const std::string& path = m_host.Inputs()[index].path;
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
        ReportInputWarning(index, CutShortWarning(path, Seconds(joined), Seconds(declared)));
    }
    if (facts.damagedPackets > 0) {
        ReportInputWarning(index, SkippedPacketsWarning(path, facts.damagedPackets));
    }
}
