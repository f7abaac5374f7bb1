#pragma once

// Orocos KDL chains equivalent to the robot model, for cross-checks in tests and benchmarks.

#include <Eigen/Dense>
#include <kdl/chain.hpp>
#include <kdl/frames.hpp>
#include <kdl/jntarray.hpp>
#include <kdl/rigidbodyinertia.hpp>
#include <kdl/rotationalinertia.hpp>
#include <kdl/segment.hpp>
#include <vector>

#include "robot_factory/utility/robot_para.h"

namespace brenvik::test {

// The five MDH links regrouped with the joint rotation first in every segment: a fixed segment
// for link 0's twist and length, then per joint Rz(θ)·Tz(d_j)·Tx(a_{j+1})·Rx(α_{j+1}).
inline KDL::Chain kinematicsChain(const MdhPara& mdh) {
  KDL::Chain chain;
  chain.addSegment(KDL::Segment(KDL::Joint(KDL::Joint::Fixed),
                                KDL::Frame::DH_Craig1989(mdh.xas[0], mdh.alphas[0], 0.0, 0.0)));
  for (int j = 0; j < 5; ++j) {
    const double a = j < 4 ? mdh.xas[j + 1] : 0.0, alpha = j < 4 ? mdh.alphas[j + 1] : 0.0;
    chain.addSegment(KDL::Segment(KDL::Joint(KDL::Joint::RotZ),
                                  KDL::Frame::DH(a, alpha, mdh.zds[j], mdh.qzeros[j])));
  }
  return chain;
}

// Links 0..2 of the dynamics model with the first 30 inertial values (per link Ixx Ixy Ixz Iyy
// Iyz Izz cx cy cz m; inertia about the centre of mass, centre of mass in the tip frame).
inline KDL::Chain dynamicsChain(const MdhPara& mdh, const std::vector<double>& inertial) {
  KDL::Chain chain;
  for (int j = 0; j < 3; ++j) {
    const double* v = inertial.data() + 10 * j;
    const KDL::RigidBodyInertia inertia(v[9], KDL::Vector(v[6], v[7], v[8]),
                                        KDL::RotationalInertia(v[0], v[3], v[5], v[1], v[2], v[4]));
    chain.addSegment(KDL::Segment(
        KDL::Joint(KDL::Joint::RotZ),
        KDL::Frame::DH(mdh.xas[j + 1], mdh.alphas[j + 1], mdh.zds[j], mdh.qzeros[j]), inertia));
  }
  return chain;
}

inline KDL::JntArray jntArray(const std::vector<double>& values, unsigned count) {
  KDL::JntArray array(count);
  array.data = Eigen::VectorXd::Map(values.data(), count);
  return array;
}

inline Eigen::Matrix4d toMatrix(const KDL::Frame& frame) {
  Eigen::Matrix4d m;
  KDL::Frame(frame).Make4x4(m.data());  // row-major
  return m.transpose();
}

}  // namespace brenvik::test
