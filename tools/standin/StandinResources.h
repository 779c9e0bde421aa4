/* Resource ids of the stand-in installers (also read by windres). */
#define STANDIN_RES_MSI 1
#define STANDIN_RES_LIBRARY 2
#define STANDIN_RES_PLACEHOLDER 3
