#include "app/run_driver.h"
#include "app/thread_reservations.h"

int main(int argc, char** argv) {
  app::limitThreadReservations();  // before the first OpenMP loop starts the workers
  return app::runMain(argc, argv);
}
