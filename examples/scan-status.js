// What both scan pages do with the agent's statuses: print each, and end the
// page at the job's end or at its first failure.

// States that end a job without a page at the fax service.
var failures = {
    '-1': 'the agent could not be reached',
    '-2': 'no scanner is available',
    '-3': 'the scanner is busy',
    '-4': 'the upload failed',
    '-5': 'the page could not be scanned or made',
    '-8': 'the scanner dialog was cancelled',
    '-9': 'the scanner interface could not be opened',
    '-10': 'the scanner is not connected'
};

// A failed upload (-4) is followed by the job's end (6): the page did not
// arrive, whatever comes after.
var jobFailed = false;

function onScanStatus(state, info, description) {
    print('State ' + state + ', Info ' + info + ', Description ' + JSON.stringify(description));
    if (state === 6) {
        if (!jobFailed) {
            print('Job done: the page is at the fax service.');
            done(0);
        }
    } else if (failures.hasOwnProperty(String(state))) {
        if (!jobFailed) {
            jobFailed = true;
            print('Job failed: ' + failures[String(state)] + '.');
            done(1);
        }
    }
}
