#include "imageops/RvResample.h"

namespace {

void SetValue(CRvSpecValue* target, int value, bool percent) {
  target->value = value < 0 ? -1 : value;
  target->percent = value < 0 ? false : percent;
}

}  // namespace

void CRvResample::SetWidth(int value, bool percent) { SetValue(&m_width, value, percent); }
void CRvResample::SetHeight(int value, bool percent) { SetValue(&m_height, value, percent); }

void CRvResample::Clear() {
  m_width = CRvSpecValue();
  m_height = CRvSpecValue();
}

bool CRvResample::Parse(std::string* text, std::string* errorText, int* count) {
  Clear();
  const auto fail = [&](const std::string& message, int position) {
    Clear();
    if (errorText) *errorText = message;
    if (count) *count = position;
    return false;
  };
  CRvSpecTokenizer tokens(text);
  std::string token;
  int position = 0;
  while (tokens.Next(&token, &position)) {
    CRvSpecValue* target = nullptr;
    std::string number = token;
    if (token.front() >= '0' && token.front() <= '9') {
      if (!m_width.IsGiven())
        target = &m_width;
      else if (!m_height.IsGiven())
        target = &m_height;
      else
        return fail("Too many parameter in scale command line", position);
    } else if (token.front() == 'w') {
      if (m_width.IsGiven())
        return fail("Duplicate width parameter in scale command line", position);
      target = &m_width;
      number.erase(0, 1);
    } else if (token.front() == 'h') {
      if (m_height.IsGiven())
        return fail("Duplicate height parameter in scale command line", position);
      target = &m_height;
      number.erase(0, 1);
    } else {
      return fail(std::string("Unknown specifier in scale command line: ") + token.front(),
                  position);
    }
    CRvSpecValue value;
    switch (RvParseSpecNumber(number, &value)) {
      case RvSpecNumberError::Missing:
        return fail("Missing parameter in resample command line", position);
      case RvSpecNumberError::NotANumber:
        return fail("Number expected in scale parameters", position);
      case RvSpecNumberError::None:
        break;
    }
    *target = value;
  }
  if (IsEmpty()) return fail("No scale parameters found", tokens.Position());
  if (count) *count = 0;
  return true;
}

std::string CRvResample::Format() const {
  std::string out;
  if (m_width.IsGiven()) out += m_width.Text() + " ";
  if (m_height.IsGiven()) out += (m_width.IsGiven() ? "" : "H") + m_height.Text() + " ";
  return out;
}

void CRvResample::GetNewSize(int width, int height, int* newWidth, int* newHeight) const {
  if (newWidth) *newWidth = m_width.IsGiven() ? m_width.Pixels(width) : width;
  if (newHeight) *newHeight = m_height.IsGiven() ? m_height.Pixels(height) : height;
}
