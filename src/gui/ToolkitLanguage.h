// The toolkit's own texts (a message box's Yes, No, OK and Cancel) in the interface's language.
// GTK translates its stock buttons by the system locale alone, so a Chinese interface on an
// English system would ask its questions in Chinese and answer them with English buttons.
#pragma once

// Makes wx's translations of the language the language table chose (Chinese or English) the
// toolkit's, from the catalog of the Debian package wx3.2-i18n. Without that catalog the labels
// stay English, and the log says why. GUI thread; call it again after the language changes.
void UseInterfaceLanguageForToolkit();
