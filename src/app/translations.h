#pragma once

namespace lumenta {

// Loads Qt's French translations into the running application, whatever
// the user's locale, and makes French the default locale.
void installFrenchTranslations();

} // namespace lumenta
