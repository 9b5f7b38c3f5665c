#include "app/windowservices.h"

WindowServices systemServices() {
    WindowServices services;
    return services;
}
