#include "scanner/saneoptions.h"

#include <QByteArray>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumenta {

namespace {

bool isNumeric(const SANE_Option_Descriptor* d) {
    return d->type == SANE_TYPE_INT || d->type == SANE_TYPE_FIXED;
}

double fromWord(const SANE_Option_Descriptor* d, SANE_Word w) {
    return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w);
}

SANE_Word toWord(const SANE_Option_Descriptor* d, double v) {
    return d->type == SANE_TYPE_FIXED ? SANE_Word(std::lround(v * (1 << SANE_FIXED_SCALE_SHIFT)))
                                      : SANE_Word(std::lround(v));
}

} // namespace

void SaneOptions::reload() {
    m_index.clear();
    m_desc.clear();
    // Option 0 holds the number of options; reading its descriptor first is
    // what some devices want before any value is read.
    if (!sane_get_option_descriptor(m_handle, 0))
        return;
    SANE_Int count = 0;
    if (sane_control_option(m_handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) !=
        SANE_STATUS_GOOD)
        return;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(m_handle, i);
        if (!d)
            continue;
        m_desc.insert(i, d);
        if (d->name && *d->name && d->type != SANE_TYPE_GROUP)
            m_index.insert(QString::fromUtf8(d->name), i);
    }
}

const SANE_Option_Descriptor* SaneOptions::descriptor(const QString& name) const {
    const auto it = m_index.constFind(name);
    return it == m_index.cend() ? nullptr : m_desc.value(*it);
}

bool SaneOptions::active(const QString& name) const {
    const SANE_Option_Descriptor* d = descriptor(name);
    return d && SANE_OPTION_IS_ACTIVE(d->cap);
}

bool SaneOptions::settable(const QString& name) const {
    const SANE_Option_Descriptor* d = descriptor(name);
    return d && SANE_OPTION_IS_ACTIVE(d->cap) && SANE_OPTION_IS_SETTABLE(d->cap) &&
           d->type != SANE_TYPE_GROUP && d->type != SANE_TYPE_BUTTON;
}

QVariant SaneOptions::get(const QString& name) {
    const SANE_Option_Descriptor* d = descriptor(name);
    if (!d || !SANE_OPTION_IS_ACTIVE(d->cap) || d->size <= 0 || !(d->cap & SANE_CAP_SOFT_DETECT))
        return {};
    QByteArray buf(std::max<SANE_Int>(d->size, sizeof(SANE_Word)) + 1, '\0');
    if (sane_control_option(m_handle, m_index.value(name), SANE_ACTION_GET_VALUE, buf.data(),
                            nullptr) != SANE_STATUS_GOOD)
        return {};
    SANE_Word w;
    std::memcpy(&w, buf.constData(), sizeof w);
    switch (d->type) {
    case SANE_TYPE_BOOL:
        return bool(w);
    case SANE_TYPE_INT:
        return int(w);
    case SANE_TYPE_FIXED:
        return SANE_UNFIX(w);
    case SANE_TYPE_STRING:
        return QString::fromUtf8(buf.constData());
    default:
        return {};
    }
}

double constrainNumber(const SANE_Option_Descriptor* d, double v) {
    const NumericConstraint c = numericConstraint(d);
    if (c.isRange) {
        v = std::clamp(v, c.min, c.max);
        if (c.quant > 0)
            v = std::min(c.max, c.min + std::round((v - c.min) / c.quant) * c.quant);
    } else if (!c.values.isEmpty()) {
        v = *std::min_element(c.values.cbegin(), c.values.cend(), [v](double a, double b) {
            return std::abs(a - v) < std::abs(b - v);
        });
    }
    return d->type == SANE_TYPE_INT ? std::round(v) : v;
}

bool SaneOptions::set(const QString& name, const QVariant& value, QVariant* actual) {
    m_paramsChanged = false;
    const SANE_Option_Descriptor* d = descriptor(name);
    if (!settable(name) || (d->size > SANE_Int(sizeof(SANE_Word)) && d->type != SANE_TYPE_STRING))
        return false;
    const int index = m_index.value(name);
    QByteArray buf(std::max<SANE_Int>(d->size, sizeof(SANE_Word)) + 1, '\0');
    QVariant wanted;
    switch (d->type) {
    case SANE_TYPE_BOOL: {
        const SANE_Word w = value.toBool() ? SANE_TRUE : SANE_FALSE;
        std::memcpy(buf.data(), &w, sizeof w);
        wanted = value.toBool();
        break;
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED: {
        bool ok = false;
        const double v = constrainNumber(d, value.toDouble(&ok));
        if (!ok)
            return false;
        const SANE_Word w = toWord(d, v);
        std::memcpy(buf.data(), &w, sizeof w);
        wanted = d->type == SANE_TYPE_INT ? QVariant(int(w)) : QVariant(fromWord(d, w));
        break;
    }
    case SANE_TYPE_STRING: {
        QString s = value.toString();
        const QStringList allowed = stringList(d);
        if (!allowed.isEmpty()) {
            const auto it = std::find_if(allowed.cbegin(), allowed.cend(), [&s](const QString& a) {
                return a.compare(s, Qt::CaseInsensitive) == 0;
            });
            if (it == allowed.cend())
                return false;
            s = *it;
        }
        const QByteArray utf8 = s.toUtf8();
        if (utf8.size() >= d->size)
            return false;
        std::memcpy(buf.data(), utf8.constData(), size_t(utf8.size()));
        wanted = s;
        break;
    }
    default:
        return false;
    }
    SANE_Int info = 0;
    if (sane_control_option(m_handle, index, SANE_ACTION_SET_VALUE, buf.data(), &info) !=
        SANE_STATUS_GOOD)
        return false;
    m_paramsChanged = info & SANE_INFO_RELOAD_PARAMS;
    if (info & SANE_INFO_RELOAD_OPTIONS)
        reload();
    if (actual) {
        *actual = wanted;
        if (info & SANE_INFO_INEXACT) {
            const QVariant back = get(name);
            if (back.isValid())
                *actual = back;
        }
    }
    return true;
}

NumericConstraint numericConstraint(const SANE_Option_Descriptor* d) {
    NumericConstraint c;
    if (!d || !isNumeric(d))
        return c;
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range) {
        c.isRange = true;
        c.min = fromWord(d, d->constraint.range->min);
        c.max = fromWord(d, d->constraint.range->max);
        c.quant = fromWord(d, d->constraint.range->quant);
    } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list) {
        const SANE_Word* list = d->constraint.word_list;
        for (SANE_Word i = 1; i <= list[0]; ++i)
            c.values.append(fromWord(d, list[i]));
    }
    return c;
}

QStringList stringList(const SANE_Option_Descriptor* d) {
    QStringList out;
    if (d && d->type == SANE_TYPE_STRING && d->constraint_type == SANE_CONSTRAINT_STRING_LIST &&
        d->constraint.string_list) {
        for (const SANE_String_Const* s = d->constraint.string_list; *s; ++s)
            out.append(QString::fromUtf8(*s));
    }
    return out;
}

} // namespace lumenta
