#include "regex/RegexObject.h"

namespace velk {

struct RegexObject::Expression {
    Text pattern;
};

struct RegexObject::MatchList {};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;
RegexObject::RegexObject(RegexObject&& other) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&& other) noexcept = default;

bool RegexObject::Search(const Text& pattern, const Text& subject, bool, bool, bool, bool) {
    m_regExp = std::make_shared<Expression>(Expression{pattern});
    m_matches.reset();
    m_subject = subject;
    return false;
}

void RegexObject::Reserved() {}

Text RegexObject::GetPattern() const { return m_regExp ? m_regExp->pattern : Text(); }

Text RegexObject::Replace(const Text&) const { return {}; }

std::int32_t RegexObject::MatchCount() const { return 0; }

Text RegexObject::MatchText(std::int32_t, std::int32_t* position) const {
    if (position)
        *position = -2;
    return {};
}

Text RegexObject::SubMatchText(std::int32_t, std::int32_t, std::int32_t* position) const {
    if (position)
        *position = -2;
    return {};
}

std::int32_t RegexObject::SubMatchCount() const { return 0; }

Text RegexObject::LocateAndSlice(std::size_t, std::size_t, std::size_t, std::int32_t*) const { return {}; }

} // namespace velk
