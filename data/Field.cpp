#include "data/Field.h"

#include "data/DataSet.h"

namespace tarvelo {

const FieldDef& Field::def() const {
    return m_dataSet->fields().at(m_index);
}
bool Field::isNull() const {
    return m_dataSet->isNull(m_index);
}
std::string Field::asText() const {
    return m_dataSet->text(m_index);
}
void Field::setText(std::string_view text) {
    m_dataSet->setText(m_index, text);
}
void Field::setExactText(std::string_view text) {
    m_dataSet->setExactText(m_index, text);
}
void Field::setDateTime(const DateTime& value) {
    m_dataSet->setDateTime(m_index, value);
}
void Field::clear() {
    m_dataSet->setNull(m_index);
}
int Field::displayWidth() const {
    return m_dataSet->displayWidth(m_index);
}
void Field::setDisplayWidth(int chars) {
    m_dataSet->setDisplayWidth(m_index, chars);
}
const std::string& Field::displayFormat() const {
    return m_dataSet->displayFormat(m_index);
}
void Field::setDisplayFormat(std::string format) {
    m_dataSet->setDisplayFormat(m_index, std::move(format));
}

}  // namespace tarvelo
