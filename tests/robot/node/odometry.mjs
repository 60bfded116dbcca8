// An Odometry message as a robot publishes it (about 1.5 KB as a rosbridge publish frame).
export function odometryMessage(i) {
    // Filled the way an estimator fills it: every entry a small double printed in full.
    const covariance = Array.from({ length: 36 }, (_, k) => Math.round((k + 1) * 1234567890.123 * (1 + i / 1000)) / 1e12);
    return {
        header: { stamp: { sec: 1700000000 + i, nanosec: 123456789 }, frame_id: 'odom' },
        child_frame_id: 'base_link',
        pose: {
            pose: {
                position: { x: 12.345678 + i, y: -3.21 + i / 1000, z: 0.0123 },
                orientation: { x: 0.001, y: -0.002, z: 0.7071067811865476, w: 0.7071067811865476 },
            },
            covariance,
        },
        twist: {
            twist: { linear: { x: 0.5, y: 0.0, z: 0.0 }, angular: { x: 0.0, y: 0.0, z: 0.1 } },
            covariance,
        },
    };
}
