// Scaling controls by a ratio (ScaleBy, ChangeScale): positions, sizes and
// fonts grow or shrink together, children before their parent.
#include "win/Controls.h"
#include "win/graphics/Graphics.h"

void TControl::ChangeScale(int m, int d) {
  if (m == d || d == 0) return;
  SetBounds(MulDiv(left, m, d), MulDiv(top, m, d), MulDiv(width, m, d), MulDiv(height, m, d));
  if (!parentFont) {
    font->SetSize(MulDiv(font->Size(), m, d));
  }
}

void TWinControl::ChangeScale(int m, int d) {
  if (m == d || d == 0) return;
  for (int i = 0; i < ControlCount(); ++i) Controls(i)->ChangeScale(m, d);
  TControl::ChangeScale(m, d);
}
