#include "wizard.h"

namespace termgate {

void Wizard::Raise(Form form, Handler handler) {
  switch (form) {
    case Form::Form2:
      form2_.Raise(handler);
      break;
    case Form::Form3:
      form3_.Raise(handler);
      break;
  }
}

}  // namespace termgate
