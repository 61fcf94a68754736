#pragma once

// Makes the dialogs that the toolkit draws itself (file-open dialog, message
// box buttons, context menus) speak French like the rest of the program, and
// write their dates, sizes and file kinds the French way. False when the
// toolkit's French catalogue is not installed; the program then runs with the
// toolkit's English texts, still with French dates.
bool installFrenchToolkitTexts();
