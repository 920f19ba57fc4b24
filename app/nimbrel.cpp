// Nimbrel: erases the metadata segments of every JPEG file in a directory.

#include "NimbrelApplication.h"
#include "Unit1.h"

int main(int argc, char* argv[])
{
    TNimbrelApplication Application(argc, argv);
    TForm1 Form1;
    Form1.show();
    return Application.exec();
}
