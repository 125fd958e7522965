// The program entry: the application titled "Varnel" and its main window.
#include "Application.h"
#include "PMain.h"

int main(int argc, char** argv) {
    // No command-line arguments are read: Qt sees the program name only.
    int qtArgc = argc > 0 ? 1 : 0;
    TApplication application(qtArgc, argv);
    application.SetTitle("Varnel");
    TQtDialogs dialogs;
    TForm1 form(dialogs);
    form.show();
    return application.exec();
}
