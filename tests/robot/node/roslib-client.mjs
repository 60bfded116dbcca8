// The roslib client's side of the shared rosbridge scenario. Usage: node roslib-client.mjs <url>
// Prints one JSON line with what roslib saw and exits 0; exits 1 on a time-out or an error.
import * as ROSLIB from 'roslib';

const url = process.argv[2];
const result = { connected: false, echo: null, failure: null, messages: [] };
const done = (code) => {
    process.stdout.write(JSON.stringify(result) + '\n');
    process.exit(code);
};
setTimeout(() => done(1), Number(process.env.ROSLIB_TIMEOUT_MS || 20000));

const ros = new ROSLIB.Ros({ url });
ros.on('error', (error) => {
    result.error = String(error && error.message ? error.message : error);
    done(1);
});
ros.on('connection', () => {
    result.connected = true;
    const echo = new ROSLIB.Service({ ros, name: '/nimbrel/echo', serviceType: 'std_srvs/Echo' });
    const fail = new ROSLIB.Service({ ros, name: '/nimbrel/fail', serviceType: 'std_srvs/Fail' });
    echo.callService({ text: 'hi' }, (reply) => {
        result.echo = reply;
        fail.callService({}, () => done(1), (message) => {
            result.failure = message;
            const odom = new ROSLIB.Topic({ ros, name: '/odom', messageType: 'nav_msgs/msg/Odometry' });
            const onMessage = (message) => {
                result.messages.push(message);
                if (result.messages.length === 2) {
                    odom.unsubscribe(onMessage);
                    // Let the unsubscribe frame leave before the socket goes.
                    setTimeout(() => { ros.close(); done(0); }, 200);
                }
            };
            odom.subscribe(onMessage);
        });
    }, (message) => { result.echoFailure = message; done(1); });
});
