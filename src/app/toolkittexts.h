#pragma once

// Makes the dialogs that the toolkit draws itself (file-open dialog, message
// box buttons, context menus) speak French like the rest of the program.
// False when the toolkit's French catalogue is not installed; the program
// then runs with the toolkit's English texts.
bool installFrenchToolkitTexts();
